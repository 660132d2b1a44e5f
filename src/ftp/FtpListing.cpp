#include "ftp/FtpListing.h"
