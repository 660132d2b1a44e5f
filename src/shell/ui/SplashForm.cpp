#include "shell/ui/SplashForm.h"

namespace ks {

TSplashForm::TSplashForm(const std::string& /*appPath*/, QWidget* parent) : QWidget(parent) {}

void TSplashForm::ShowProgress(const QString& /*text*/) {}

} // namespace ks
