#pragma once

#include <QString>

#include <string>

class QCheckBox;
class QWidget;

namespace ks {

/// The current language's text of id for display, or fallback (UTF-8) when it has none.
QString CopyLangText(const char* id, const char* fallback);
/// Local 8-bit bytes (a file name) as display text.
QString LocalText(const std::string& bytes);
/// A check box named name that starts from its state under the program's key (byDefault when
/// none is stored) and stores every change the user clicks.
QCheckBox* SavedCheckBox(QWidget* parent, const char* name, const QString& caption, bool byDefault);

} // namespace ks
