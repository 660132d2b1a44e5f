#include "fileops/ui/CopyFormTexts.h"

#include "controls/ui/TranslateForm.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"

#include <QCheckBox>

#include <optional>

namespace ks {

QString CopyLangText(const char* id, const char* fallback) {
    const QString text = DecodeLangText(CurrentLanguage().GetLangText(id));
    return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

QString LocalText(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QCheckBox* SavedCheckBox(QWidget* parent, const char* name, const QString& caption, bool byDefault) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setChecked(byDefault);
    if (const TKRegistryStore* store = RegistryStore()) {
        if (const std::optional<bool> stored = LoadCheckBoxState(*store, ProgramKey, name))
            box->setChecked(*stored);
    }
    // Only clicks are stored: a state the program sets itself is not the user's choice.
    QObject::connect(box, &QCheckBox::clicked, box, [name](bool checked) {
        if (TKRegistryStore* store = RegistryStore())
            SaveCheckBoxState(*store, ProgramKey, name, checked);
    });
    return box;
}

} // namespace ks
