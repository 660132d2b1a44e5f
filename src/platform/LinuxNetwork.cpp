#include "platform/LinuxNetwork.h"
