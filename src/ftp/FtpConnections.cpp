#include "ftp/FtpConnections.h"
