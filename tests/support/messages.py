"""The programs' fixed messages that more than one test expects."""


def input_as_output(name):
    """What a program says when the output it is given is its input."""
    return b'Error opening output file "%s": it is the input file\n' % name.encode()
