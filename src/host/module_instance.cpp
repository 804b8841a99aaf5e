#include "host/module_instance.h"

HINSTANCE moduleInstance = nullptr;
