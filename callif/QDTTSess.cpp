#include "callif/QDTTSess.h"
