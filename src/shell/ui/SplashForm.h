#pragma once

#include <QWidget>

#include <string>

class QLabel;

namespace ks {

/// The start-up picture: "sablesp.jpg" blended over the desktop with the per-pixel opacity of
/// "sablespm.jpg", centred on the screen, with a progress text (`counter`).
class TSplashForm : public QWidget {
public:
    /// Loads both pictures from appPath (the program folder, ending in "/"); a missing file
    /// leaves that picture empty.
    explicit TSplashForm(const std::string& appPath, QWidget* parent = nullptr);
    /// Sets the progress text and repaints at once.
    void ShowProgress(const QString& text);
};

} // namespace ks
