#include "measure/foot_measure.h"
