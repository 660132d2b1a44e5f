#include "ftp/FtpReply.h"
