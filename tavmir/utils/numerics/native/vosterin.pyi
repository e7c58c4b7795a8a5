from collections.abc import Buffer

import numpy as np
from numpy.typing import NDArray

def vosterin_peak_search_cy(y_d2: Buffer) -> tuple[NDArray[np.float64], NDArray[np.float64]]: ...
