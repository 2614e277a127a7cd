#include "callif/QDTTTabl.h"
