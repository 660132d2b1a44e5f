#include "controls/ui/TranslateForm.h"

#include "foundation/Language.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSet>
#include <QTextEdit>
#include <QWidget>

#include <vector>

namespace ks {

namespace {

std::function<QString(const std::string&)>& Decoder() {
    static std::function<QString(const std::string&)> decoder;
    return decoder;
}

// The form's named objects by lower-cased name; the first one found keeps a name.
class TNamedObjects {
public:
    explicit TNamedObjects(QWidget* form) {
        for (QObject* child : form->findChildren<QObject*>())
            Add(child);
        // Actions are often owned by the form or by nobody and only listed in a menu or a
        // widget; reach them, and the submenus they open, through the lists as well.
        AddActions(form->actions());
        for (QWidget* widget : form->findChildren<QWidget*>())
            AddActions(widget->actions());
    }

    QObject* Find(const QString& name) const { return FByName.value(name.toLower(), nullptr); }

private:
    void Add(QObject* object) {
        if (!object->objectName().isEmpty() && !FByName.contains(object->objectName().toLower()))
            FByName.insert(object->objectName().toLower(), object);
    }

    void AddActions(const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            if (FSeen.contains(action))
                continue;
            FSeen.insert(action);
            Add(action);
            if (QMenu* menu = action->menu<QMenu*>()) {
                Add(menu);
                AddActions(menu->actions());
            }
        }
    }

    QHash<QString, QObject*> FByName;
    QSet<QAction*> FSeen;
};

// Edit fields, combo boxes and spin boxes hold what the user typed, never a caption.
bool HoldsUserText(QObject* object) {
    return qobject_cast<QLineEdit*>(object) || qobject_cast<QComboBox*>(object) ||
           qobject_cast<QTextEdit*>(object) || qobject_cast<QPlainTextEdit*>(object) ||
           qobject_cast<QAbstractSpinBox*>(object);
}

void SetCaption(QObject* object, const QString& text) {
    if (HoldsUserText(object))
        return;
    if (auto* label = qobject_cast<QLabel*>(object))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(object))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(object))
        group->setTitle(text);
    else if (auto* menu = qobject_cast<QMenu*>(object))
        menu->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(object))
        action->setText(text);
}

void SetHint(QObject* object, const QString& text) {
    if (auto* widget = qobject_cast<QWidget*>(object))
        widget->setToolTip(text);
    else if (auto* action = qobject_cast<QAction*>(object))
        action->setToolTip(text);
}

} // namespace

void TranslateForm(QWidget* form) {
    if (!form || form->objectName().isEmpty())
        return;
    const std::vector<TLangLine> lines =
        ReadWindowFile(CurrentLanguage().LangPath, form->objectName().toStdString());
    if (lines.empty())
        return;
    const TNamedObjects objects(form);
    for (const TLangLine& line : lines) {
        const QString text = DecodeLangText(line.Text);
        if (line.Key == "FormCaption") {
            form->setWindowTitle(text);
            continue;
        }
        const bool hint = !line.Key.empty() && line.Key.back() == '~';
        const QString name =
            QString::fromUtf8(line.Key.data(), static_cast<qsizetype>(line.Key.size() - (hint ? 1 : 0)));
        if (name.isEmpty())
            continue;
        QObject* object = objects.Find(name);
        if (!object)
            continue;
        if (hint)
            SetHint(object, text);
        else
            SetCaption(object, text);
    }
}

void SetTranslateDecoder(std::function<QString(const std::string&)> decoder) {
    Decoder() = std::move(decoder);
}

QString DecodeLangText(const std::string& bytes) {
    return Decoder() ? Decoder()(bytes)
                     : QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace ks
