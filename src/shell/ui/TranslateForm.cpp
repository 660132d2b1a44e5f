#include "shell/ui/TranslateForm.h"

#include <QWidget>

namespace ks {

namespace {

std::function<QString(const std::string&)>& Decoder() {
    static std::function<QString(const std::string&)> decoder;
    return decoder;
}

} // namespace

void TranslateForm(QWidget* /*form*/) {}

void SetTranslateDecoder(std::function<QString(const std::string&)> decoder) {
    Decoder() = std::move(decoder);
}

QString DecodeLangText(const std::string& bytes) {
    return Decoder() ? Decoder()(bytes)
                     : QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace ks
