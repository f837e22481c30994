#include "linkclock.h"
