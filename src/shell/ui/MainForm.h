#pragma once

#include <QWidget>

namespace ks {

/// The main window (being built).
class TMainForm : public QWidget {
public:
    explicit TMainForm(QWidget* parent = nullptr) : QWidget(parent) {}
};

} // namespace ks
