#include "viewer/render.hpp"
