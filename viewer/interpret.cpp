#include "viewer/interpret.hpp"
