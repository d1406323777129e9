#include "host/api/dgContext.h"

const MDGContext MDGContext::fsNormal;
