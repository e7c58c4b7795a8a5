"""Repeated calls that must leave nothing behind: no reference to an argument or to anything else the caller
watches, no reference kept to a result, and no block of Python's allocator."""

import gc
import sys

CALLS = 2000
WARM_UP = 100
# Blocks that the interpreter's and NumPy's own caches may take or give back over a run of calls. A leak of
# one object per call (a result, an exception with its traceback, a view object) takes CALLS or more.
BLOCK_SLACK = 40


def _outcome(function, args, kwargs, raises):
    """The result of one call, or the message of the exception `raises` that it raised. The exception is
    dropped on leaving the except clause, and with it its traceback and the frames that refer to this one."""
    try:
        result = function(*args, **kwargs)
    except Exception as error:
        if type(error) is not raises:
            raise
        return str(error)
    assert raises is None, f"returned instead of raising {raises.__name__}"
    return result


# Python's allocator counts its blocks; with PYTHONMALLOC=malloc (as in the sanitized run, where
# AddressSanitizer watches every object instead) it counts none, and the block check has nothing to compare.
COUNTS_BLOCKS = sys.getallocatedblocks() > 0


def assert_no_leaks(function, args=(), kwargs=None, *, raises=None, message="", watched=()):
    """Calls function(*args, **kwargs) CALLS times after a warm-up, each call returning a result or, when
    `raises` is an exception type, raising exactly that type with `message` in its text. Then no argument, nor
    any object in `watched`, has gained or lost a reference, the last result is held by the caller alone, and
    Python's allocator holds no more blocks than before, up to BLOCK_SLACK."""
    kwargs = kwargs or {}
    objects = [*args, *kwargs.values(), *watched]

    def call():
        return _outcome(function, args, kwargs, raises)

    if raises is not None:
        assert message in call()
    # Collections below then pass over the objects made here only, not over the whole test session's.
    gc.freeze()
    try:
        for _ in range(WARM_UP):
            call()
        gc.collect()
        references = [sys.getrefcount(item) for item in objects]
        blocks = sys.getallocatedblocks()

        for _ in range(CALLS - 1):
            call()
        result = call()
        if raises is None:
            # Held by the caller alone: this one name, and getrefcount's argument; a tuple's items by the tuple.
            assert sys.getrefcount(result) == 2, "the result is referred to from elsewhere"
            if type(result) is tuple:
                items = [sys.getrefcount(result[i]) for i in range(len(result))]
                assert items == [2] * len(result), "an item of the result is referred to from elsewhere"
        del result
        gc.collect()
    finally:
        gc.unfreeze()

    now = [sys.getrefcount(item) for item in objects]
    assert now == references, f"references to the arguments and watched objects: {references} -> {now}"
    if COUNTS_BLOCKS:
        grown = sys.getallocatedblocks() - blocks
        assert grown <= BLOCK_SLACK, f"{grown} more blocks after {CALLS} calls"
