#include "callif/QDTTDbas.h"
