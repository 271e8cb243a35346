#include "store/parm_file.h"
