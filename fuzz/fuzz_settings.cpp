// The settings reader: any text either reads as a REGEDIT4 tree or raises SettingsError.
// A tree read back from its own text gives the same text again.

#include "FuzzCheck.h"

#include "platform/SettingsStore.h"

#include <QStringDecoder>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    // As the store reads a file: text that is not UTF-8 is refused before parsing.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(QByteArrayView(data, qsizetype(size)));
    if (decoder.hasError())
        return 0;
    const QString name = QStringLiteral("fuzz.reg");
    QString written;
    try {
        written = SettingsStore::fromText(HKEY_LOCAL_MACHINE, text, name).toText();
    } catch (const SettingsError&) {
        return 0;
    }
    try {
        const QString again = SettingsStore::fromText(HKEY_LOCAL_MACHINE, written, name).toText();
        FUZZ_CHECK(again == written);
    } catch (const SettingsError& e) {
        std::fprintf(stderr, "own text not read back: %s\n", qPrintable(e.message()));
        FUZZ_CHECK(false);
    }
    return 0;
}
