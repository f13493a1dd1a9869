"""What the end-to-end tests and the benches share: scratch folders, the programs a test
needs, polling with a deadline, FIFOs, a tmux pane and movies in other character sets.

ctest puts the tests/ folder on PYTHONPATH (tests/CMakeLists.txt); a bench is run with
PYTHONPATH=tests from the source tree.
"""
