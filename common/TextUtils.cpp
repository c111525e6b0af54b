#include "common/TextUtils.h"
