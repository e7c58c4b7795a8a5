import numpy as np
from numpy.typing import NDArray

# None stands for an empty array.
def multi_gaussian_cy(x: NDArray[np.float64] | None, params: NDArray[np.float64] | None) -> NDArray[np.float64]: ...
def multi_gaussian_jacobian_cy(
    x: NDArray[np.float64] | None, params: NDArray[np.float64] | None
) -> NDArray[np.float64]: ...
