#include "shell/ui/MainForm.h"
