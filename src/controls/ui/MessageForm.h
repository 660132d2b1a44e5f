#pragma once

#include "controls/MessageBox.h"
#include "controls/ui/KMYFORM.h"

#include <QString>

#include <array>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTextEdit;
class QTimer;

namespace ks {

/// The program's own modal message window: a translated caption, a centred word-wrapped message
/// beside an animated icon, and any combination of the eight buttons of `MessageButtons`. One is
/// created for every question; `Execute` shows it and gives the caller's result. The frame, the
/// close box and dragging are those of every dialog (`TKMYFORM`). Thread: the GUI thread.
class TMessageForm : public TKMYFORM {
public:
    /// Turns the bytes of a language text (and of the message) into display text; the language's
    /// character set is known only to the caller, so the composition root installs the decoder.
    using TTextDecoder = std::function<QString(const std::string&)>;

    /// Builds the window: text is the message, buttons the sum of the button-set bits to show,
    /// defaultButton the index of the button that gets the focus (0 Yes, 1 No, 2 OK, 3 Cancel,
    /// 4 Abort, 5 Retry, 8 No to all, 9 Yes to all). Captions come from the current language,
    /// an empty one falling back to the English caption.
    TMessageForm(const std::string& text, int buttons, int defaultButton, QWidget* parent = nullptr);

    /// Installs the decoder for language texts; an empty one restores UTF-8.
    static void SetTextDecoder(TTextDecoder decoder);
    /// Decodes bytes with the installed decoder.
    static QString DecodeText(const std::string& bytes);

    /// Shows the window modally and returns the modal result of the pressed button; Escape,
    /// the close box and closing the window give Cancel, which becomes No or Abort when no
    /// Cancel button is shown (`MessageBoxResult`).
    int Execute();

    /// The button of a `MessageButtons` index (hidden ones included).
    QPushButton* Button(int index) const { return FButtons[static_cast<std::size_t>(index)]; }
    /// Where the buttons went and which one has the focus.
    const TMessageBoxLayout& Layout() const { return FLayout; }
    /// The message area.
    QTextEdit* TextArea() const { return FText; }
    /// The 32 × 32 icon area.
    QLabel* IconArea() const { return FImage; }
    /// The icon on show (`miNone` until the first tick).
    TMessageIcon Icon() const { return FIconCycle.Icon(); }
    /// Shows the next icon of the cycle; the timer calls it every `MessageIconInterval` ms.
    void TickIcon();
    /// True while the icon timer runs.
    bool IconTimerActive() const;

    void done(int result) override;
    void reject() override;

private:
    int FButtonSet;
    TMessageBoxLayout FLayout;
    std::array<QPushButton*, 8> FButtons{};
    QTextEdit* FText = nullptr;
    QLabel* FImage = nullptr;
    QTimer* FTimer = nullptr;
    TMessageIconCycle FIconCycle;
};

/// Asks the user: shows a `TMessageForm` modally and returns the modal result (see
/// `TMessageForm::Execute`). kind is the caller's notion of the message and reserved is always
/// 0; neither changes the window.
int ShowMessageForm(const std::string& text, int kind, int buttons, int defaultButton, int reserved,
                    QWidget* parent = nullptr);

} // namespace ks
