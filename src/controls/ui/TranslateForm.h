#pragma once

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace ks {

/// Applies the current language's window file to form: LangPath + "F_" + the form's object name
/// + ".dat" (found ignoring case, falling back to nothing when missing). Each line "key|text":
/// "FormCaption" (exact case) sets the window title; "name~" sets the tool tip of the child
/// object of that name; any other key names a child object (found ignoring case) whose caption
/// becomes text: labels, buttons, check boxes, group boxes, menus (title) and actions (text).
/// Edit fields and combo boxes keep their text (it is the user's). Unknown names are skipped.
/// The form's font gets nothing: fonts come from the skin and the language's texts are decoded
/// with the language's code page.
void TranslateForm(QWidget* form);

/// Decodes a language text for display; the composition root installs the code-page decoder.
/// Without one, texts are read as UTF-8.
void SetTranslateDecoder(std::function<QString(const std::string&)> decoder);
/// Decodes bytes with the installed decoder.
QString DecodeLangText(const std::string& bytes);

} // namespace ks
