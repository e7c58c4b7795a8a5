from collections.abc import Buffer

import numpy as np
from numpy.typing import NDArray

# None stands for an empty array; the buffers must be writable, though they are only read.
def rebin_histogram_cy(
    energy_axis: Buffer | None, count_axis: Buffer | None, new_energy_axis: Buffer
) -> NDArray[np.float64]: ...
