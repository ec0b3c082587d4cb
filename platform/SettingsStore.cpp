#include "platform/SettingsStore.h"

#include "core/ErrorTexts.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString g_folder;
int g_fileReads = 0;
int g_fileWrites = 0;
SettingsBatch* g_batch = nullptr;
std::function<void()> g_beforeReplace;

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
const char* const kHeader = "REGEDIT4";
// A settings file is a few hundred bytes; anything this large is not one of ours.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
// Longest value name the registry accepts.
constexpr int kMaxValueName = 16383;

[[noreturn]] void throwIo(const QString& what, const QString& path, int err)
{
    throw SettingsError(
        ERROR_REGISTRY_IO_FAILED,
        QStringLiteral("%1 «%2»: %3").arg(what, QDir::toNativeSeparators(path), ErrorTexts::systemError(err)));
}

[[noreturn]] void throwNotRegular(const QString& what, const QString& path, mode_t mode)
{
    if (S_ISDIR(mode))
        throwIo(what, path, EISDIR);
    throw SettingsError(ERROR_REGISTRY_IO_FAILED,
                        QStringLiteral("%1 «%2»: no es un archivo normal").arg(what, QDir::toNativeSeparators(path)));
}

[[noreturn]] void throwBad(const QString& path, int line, const QString& why)
{
    throw SettingsError(ERROR_BADDB, QStringLiteral("El archivo de configuración «%1» está dañado (línea %2: %3)")
                                         .arg(QDir::toNativeSeparators(path))
                                         .arg(line)
                                         .arg(why));
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Names of a key path, skipping the empty ones a leading, doubled or trailing "\" leaves.
QStringList keyNames(const QString& keyPath)
{
    return keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0);
}

bool hasControl(QStringView s)
{
    for (QChar c : s)
        if (isControl(c.unicode()))
            return true;
    return false;
}

// Whether a text can stand between quotes and come back identical through UTF-8.
bool quotable(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (isControl(c) || c == 0xfffe || c == 0xffff)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= s.size() || !QChar::isLowSurrogate(s[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

QString quoted(const QString& s)
{
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

// "hex:" or "hex(N):" followed by the bytes, wrapped as regedit wraps them.
QString hexData(const QString& lead, const QString& prefix, const QByteArray& data)
{
    static const char digits[] = "0123456789abcdef";
    QString out = lead + prefix;
    out.reserve(out.size() + data.size() * 3 + data.size() / 20 * 4);
    qsizetype lineLength = out.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += QLatin1Char(',');
            ++lineLength;
            if (lineLength + 3 > 78) {
                out += QStringLiteral("\\\n  ");
                lineLength = 2;
            }
        }
        const quint8 byte = quint8(data[i]);
        out += QLatin1Char(digits[byte >> 4]);
        out += QLatin1Char(digits[byte & 15]);
        lineLength += 2;
    }
    return out;
}

QString valueLine(const RegValue& v)
{
    const QString lead = (v.name.isEmpty() ? QStringLiteral("@") : quoted(v.name)) + QLatin1Char('=');
    if (v.type == REG_SZ && v.data.size() >= 2 && v.data.size() % 2 == 0 && v.data.endsWith(QByteArray(2, '\0'))) {
        const QString text = SettingsStore::dataText(v.data);
        if (SettingsStore::textData(text) == v.data && quotable(text))
            return lead + quoted(text);
    }
    if (v.type == REG_DWORD && v.data.size() == 4)
        return lead + QStringLiteral("dword:") +
               QString::number(qFromLittleEndian<quint32>(v.data.constData()), 16).rightJustified(8, QLatin1Char('0'));
    if (v.type == REG_BINARY)
        return hexData(lead, QStringLiteral("hex:"), v.data);
    return hexData(lead, QStringLiteral("hex(%1):").arg(v.type, 0, 16), v.data);
}

void writeKey(QString& out, const RegKey& key, const QString& path, bool isRoot)
{
    if (!isRoot || !key.values.empty()) {
        out += QLatin1Char('[') + path + QStringLiteral("]\n");
        for (const RegValue& v : key.values)
            out += valueLine(v) + QLatin1Char('\n');
        out += QLatin1Char('\n');
    }
    for (const auto& sub : key.subkeys)
        writeKey(out, *sub, path + QLatin1Char('\\') + sub->name, false);
}

// ---- reading a REGEDIT4 text -------------------------------------------------

class Parser
{
public:
    Parser(QStringView line, const QString& path, int lineNo) : m_s(line), m_path(path), m_line(lineNo) {}

    [[noreturn]] void fail(const QString& why) const { throwBad(m_path, m_line, why); }
    bool atEnd() const { return m_pos >= m_s.size(); }
    qsizetype pos() const { return m_pos; }
    void setPos(qsizetype pos) { m_pos = pos; }
    QChar peek() const { return atEnd() ? QChar() : m_s[m_pos]; }
    void skipBlanks()
    {
        while (!atEnd() && (m_s[m_pos] == QLatin1Char(' ') || m_s[m_pos] == QLatin1Char('\t')))
            ++m_pos;
    }
    void expect(QChar c, const QString& why)
    {
        if (peek() != c)
            fail(why);
        ++m_pos;
    }
    bool take(QStringView word)
    {
        if (!m_s.mid(m_pos).startsWith(word, Qt::CaseInsensitive))
            return false;
        m_pos += word.size();
        return true;
    }
    // A text between quotes; only \\ and \" are escapes.
    QString quotedText()
    {
        expect(QLatin1Char('"'), QStringLiteral("se esperaba una comilla"));
        QString out;
        for (;;) {
            if (atEnd())
                fail(QStringLiteral("falta la comilla de cierre"));
            const QChar c = m_s[m_pos++];
            if (c == QLatin1Char('"'))
                return out;
            if (c == QLatin1Char('\\')) {
                const QChar next = peek();
                if (next != QLatin1Char('\\') && next != QLatin1Char('"'))
                    fail(QStringLiteral("secuencia de escape desconocida"));
                ++m_pos;
                out += next;
            } else {
                out += c;
            }
        }
    }
    quint32 hexNumber(int maxDigits)
    {
        quint32 n = 0;
        int digits = 0;
        while (!atEnd() && digits < maxDigits) {
            const char16_t c = m_s[m_pos].unicode();
            int d = -1;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (c >= u'a' && c <= u'f')
                d = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                d = c - u'A' + 10;
            if (d < 0)
                break;
            n = n * 16 + quint32(d);
            ++digits;
            ++m_pos;
        }
        if (digits == 0)
            fail(QStringLiteral("se esperaba un número hexadecimal"));
        return n;
    }
    QByteArray hexBytes()
    {
        QByteArray out;
        skipBlanks();
        if (atEnd())
            return out;
        for (;;) {
            skipBlanks();
            const qsizetype start = m_pos;
            const quint32 b = hexNumber(2);
            if (m_pos - start != 2)
                fail(QStringLiteral("byte hexadecimal incompleto"));
            out += char(b);
            skipBlanks();
            if (atEnd())
                return out;
            expect(QLatin1Char(','), QStringLiteral("se esperaba una coma"));
        }
    }

private:
    QStringView m_s;
    qsizetype m_pos = 0;
    const QString& m_path;
    int m_line;
};

} // namespace

// ---- tree ---------------------------------------------------------------------

RegKey* RegKey::subkey(QStringView name) const
{
    const auto it = m_subkeyIndex.constFind(name.toString().toCaseFolded());
    return it == m_subkeyIndex.cend() ? nullptr : subkeys[*it].get();
}

RegValue* RegKey::value(QStringView name)
{
    const auto it = m_valueIndex.constFind(name.toString().toCaseFolded());
    return it == m_valueIndex.cend() ? nullptr : &values[*it];
}

const RegValue* RegKey::value(QStringView name) const
{
    return const_cast<RegKey*>(this)->value(name);
}

RegKey& RegKey::addSubkey(const QString& name)
{
    m_subkeyIndex.insert(name.toCaseFolded(), subkeys.size());
    subkeys.push_back(std::make_unique<RegKey>());
    subkeys.back()->name = name;
    return *subkeys.back();
}

RegValue& RegKey::addValue(const QString& name, quint32 type, const QByteArray& data)
{
    m_valueIndex.insert(name.toCaseFolded(), values.size());
    values.push_back(RegValue{name, type, data});
    return values.back();
}

// ---- store --------------------------------------------------------------------

SettingsStore::SettingsStore(RootKey root) : m_root(root), m_tree(std::make_unique<RegKey>())
{
    m_tree->name = rootName(root);
}

void SettingsStore::setFolder(const QString& folder)
{
    g_folder = folder;
}

QString SettingsStore::folder()
{
    return g_folder.isEmpty() ? ProgramFolder::path() : g_folder;
}

QString SettingsStore::rootName(RootKey root)
{
    return QLatin1String(kRootNames[root]);
}

QString SettingsStore::filePath(RootKey root)
{
    return QDir(folder()).filePath(rootName(root) + QStringLiteral(".reg"));
}

QByteArray SettingsStore::textData(const QString& text)
{
    QByteArray data(qsizetype(text.size() + 1) * 2, '\0');
    qToLittleEndian<quint16>(text.utf16(), text.size(), data.data());
    return data;
}

QString SettingsStore::dataText(const QByteArray& data)
{
    QString text;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = qFromLittleEndian<quint16>(data.constData() + i);
        if (c == 0)
            break;
        text += QChar(c);
    }
    return text;
}

const RegKey* SettingsStore::findKey(const QString& keyPath) const
{
    const RegKey* key = m_tree.get();
    for (const QString& name : keyNames(keyPath)) {
        key = key->subkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

std::optional<QString> SettingsStore::text(const QString& keyPath, const QString& valueName) const
{
    const RegKey* key = findKey(keyPath);
    const RegValue* value = key ? key->value(valueName) : nullptr;
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ))
        return std::nullopt;
    return dataText(value->data);
}

RegKey& SettingsStore::createKey(const QString& keyPath, bool* created)
{
    const QStringList names = keyNames(keyPath);
    for (const QString& name : names)
        if (hasControl(name) || name.size() > 255)
            throw SettingsError(ERROR_BAD_PATHNAME,
                                QStringLiteral("La ruta de la clave del registro «%1» no es válida").arg(keyPath));
    if (created)
        *created = false;
    RegKey* key = m_tree.get();
    for (const QString& name : names) {
        RegKey* next = key->subkey(name);
        if (!next) {
            next = &key->addSubkey(name);
            if (created)
                *created = true;
        }
        key = next;
    }
    return *key;
}

bool SettingsStore::setValue(RegKey& key, const QString& name, quint32 type, const QByteArray& data)
{
    if (hasControl(name) || name.size() > kMaxValueName)
        return false;
    if (RegValue* v = key.value(name)) {
        v->type = type;
        v->data = data;
    } else {
        key.addValue(name, type, data);
    }
    return true;
}

QString SettingsStore::toText() const
{
    QString out = QLatin1String(kHeader) + QStringLiteral("\n\n");
    writeKey(out, *m_tree, m_tree->name, true);
    return out;
}

namespace {

// The lines of a REGEDIT4 text without their line ends, checked to be whole and to start
// with the header. Views into the text: no line is copied.
QList<QStringView> regeditLines(const QString& text, const QString& fileName)
{
    QList<QStringView> lines = QStringView(text).split(u'\n');
    // Every file we write ends with a line break: a last line without one was cut short.
    if (lines.size() < 2 || !lines.last().isEmpty())
        throwBad(fileName, int(lines.size()), QStringLiteral("el archivo está incompleto"));
    lines.removeLast();
    for (QStringView& line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    if (lines.first().trimmed() != QLatin1String(kHeader))
        throw SettingsError(ERROR_BADDB, QStringLiteral("El archivo de configuración «%1» no es un archivo REGEDIT4")
                                             .arg(QDir::toNativeSeparators(fileName)));
    return lines;
}

// The value's name ("" for "@") of a value line; `dataStart` is where its data begins, past "=".
QString valueName(QStringView line, const QString& fileName, int lineNo, qsizetype* dataStart)
{
    QString name;
    Parser p(line, fileName, lineNo);
    if (p.peek() == QLatin1Char('@'))
        p.expect(QLatin1Char('@'), QString());
    else
        name = p.quotedText();
    p.skipBlanks();
    p.expect(QLatin1Char('='), QStringLiteral("se esperaba «=»"));
    p.skipBlanks();
    *dataStart = p.pos();
    return name;
}

// The data of a value line from `dataStart` on: a quoted text, "dword:", "hex:" or "hex(N):".
RegValue valueData(QStringView line, qsizetype dataStart, const QString& fileName, int lineNo)
{
    Parser p(line, fileName, lineNo);
    p.setPos(dataStart);
    RegValue value;
    value.type = REG_SZ;
    if (p.peek() == QLatin1Char('"')) {
        value.data = SettingsStore::textData(p.quotedText());
    } else if (p.take(u"dword:")) {
        const quint32 n = p.hexNumber(8);
        value.data.resize(4);
        qToLittleEndian<quint32>(n, value.data.data());
        value.type = REG_DWORD;
    } else if (p.take(u"hex:")) {
        value.type = REG_BINARY;
        value.data = p.hexBytes();
    } else if (p.take(u"hex(")) {
        value.type = p.hexNumber(8);
        p.expect(QLatin1Char(')'), QStringLiteral("se esperaba «)»"));
        p.expect(QLatin1Char(':'), QStringLiteral("se esperaba «:»"));
        value.data = p.hexBytes();
    } else {
        p.fail(QStringLiteral("tipo de valor desconocido"));
    }
    p.skipBlanks();
    if (!p.atEnd())
        p.fail(QStringLiteral("texto sobrante tras el valor"));
    return value;
}

} // namespace

RegKey* SettingsStore::keyOfLine(QStringView line, const QString& fileName, int lineNo)
{
    if (!line.endsWith(QLatin1Char(']')))
        throwBad(fileName, lineNo, QStringLiteral("falta el corchete de cierre"));
    const QString path = line.mid(1, line.size() - 2).toString();
    const qsizetype slash = path.indexOf(QLatin1Char('\\'));
    if (!sameName(QStringView(path).left(slash < 0 ? path.size() : slash), rootName(m_root)))
        throwBad(fileName, lineNo, QStringLiteral("la clave no pertenece a %1").arg(rootName(m_root)));
    try {
        return &createKey(slash < 0 ? QString() : path.mid(slash + 1));
    } catch (const SettingsError&) {
        throwBad(fileName, lineNo, QStringLiteral("nombre de clave no válido"));
    }
}

SettingsStore SettingsStore::fromText(RootKey root, const QString& text, const QString& fileName)
{
    SettingsStore store(root);
    const QList<QStringView> lines = regeditLines(text, fileName);
    RegKey* key = nullptr;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const int lineNo = int(i + 1);
        QStringView line = lines[i];
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            key = store.keyOfLine(line, fileName, lineNo);
            continue;
        }
        if (!key)
            throwBad(fileName, lineNo, QStringLiteral("valor fuera de una clave"));

        qsizetype dataStart = 0;
        const QString name = valueName(line, fileName, lineNo, &dataStart);
        // Binary data may go on over following lines, each ending in "\" but the last.
        // Each line is appended in place: a new text per line would make a long value cost
        // the square of its length.
        QString joined;
        if (line.mid(dataStart).startsWith(u"hex", Qt::CaseInsensitive) && line.endsWith(u'\\') &&
            i + 1 < lines.size()) {
            joined = line.toString();
            while (joined.endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) {
                joined.chop(1);
                joined += lines[++i].trimmed();
            }
            line = joined;
        }
        const RegValue value = valueData(line, dataStart, fileName, lineNo);
        if (!setValue(*key, name, value.type, value.data))
            throwBad(fileName, lineNo, QStringLiteral("nombre de valor no válido"));
    }
    return store;
}

namespace {

// The whole content of an open regular file, up to kMaxFileSize; 0 in *err when read whole,
// else the errno of what stopped the reading.
QByteArray readAll(int fd, qint64 size, int* err)
{
    QByteArray bytes;
    *err = 0;
    if (size > kMaxFileSize) {
        *err = EFBIG;
        return bytes;
    }
    bytes.reserve(qsizetype(size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *err = errno;
            return bytes;
        }
        if (n == 0)
            return bytes;
        bytes.append(buffer, n);
        if (bytes.size() > kMaxFileSize) {
            *err = EFBIG;
            return bytes;
        }
    }
}

} // namespace

SettingsStore SettingsStore::load(RootKey root)
{
    const QString path = filePath(root);
    const QString what = QStringLiteral("No se pudo leer el archivo de configuración");
    const QByteArray native = QFile::encodeName(path);
    // The type is checked before opening: opening a FIFO for reading waits for a writer
    // for ever, and opening a device can have effects of its own.
    struct stat before;
    if (::stat(native.constData(), &before) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return SettingsStore(root);
        throwIo(what, path, errno);
    }
    if (!S_ISREG(before.st_mode))
        throwNotRegular(what, path, before.st_mode);
    // Non-blocking as well, in case the path was replaced by a FIFO in between.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return SettingsStore(root);
        throwIo(what, path, errno);
    }
    ++g_fileReads;
    QByteArray bytes;
    int err = 0;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throwNotRegular(what, path, st.st_mode);
    } else {
        bytes = readAll(fd, qint64(st.st_size), &err);
    }
    ::close(fd);
    if (err)
        throwIo(what, path, err);

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw SettingsError(ERROR_BADDB, QStringLiteral("El archivo de configuración «%1» no es un texto UTF-8 válido")
                                             .arg(QDir::toNativeSeparators(path)));
    return fromText(root, text, path);
}

namespace {

// mkdir -p, keeping errno of the step that failed.
bool makePath(const QByteArray& dir)
{
    struct stat st;
    if (::stat(dir.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT)
        return false;
    const qsizetype slash = dir.lastIndexOf('/');
    if (slash > 0 && !makePath(dir.left(slash)))
        return false;
    return ::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST;
}

// Makes the rename of a file in `dir` durable; a folder that cannot be opened is left as it is,
// since the file itself is already whole on disk.
void syncFolder(const QByteArray& dir)
{
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

// The errno a failed Qt file call left, or `fallback` when it left none.
int lastError(int fallback)
{
    return errno != 0 ? errno : fallback;
}

} // namespace

void SettingsStore::save() const
{
    const QString path = filePath(m_root);
    const QString what = QStringLiteral("No se pudo guardar el archivo de configuración");
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    if (!makePath(dir))
        throwIo(what, path, errno);
    // Whatever else stands under the file's name (a FIFO, a device, a folder) is not ours
    // to replace.
    struct stat existing;
    if (::stat(QFile::encodeName(path).constData(), &existing) == 0 && !S_ISREG(existing.st_mode))
        throwNotRegular(what, path, existing.st_mode);
    ++g_fileWrites;

    // QSaveFile writes the new text beside the old file and puts it in its place only once
    // it is whole on disk, so a crash at any point leaves either the old file or the new one.
    // A symbolic link is followed: the file it names is replaced and the link stays.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throwIo(what, path, lastError(EACCES));
    // Private before a byte of the text is written: it holds the mail password.
    errno = 0;
    if (!file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        throwIo(what, path, lastError(EPERM));
    const QByteArray bytes = toText().toUtf8();
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int err = lastError(EIO);
        file.cancelWriting();
        throwIo(what, path, err);
    }
    if (g_beforeReplace)
        g_beforeReplace();
    errno = 0;
    if (!file.commit())
        throwIo(what, path, lastError(EIO));
    // The folder that now holds the new file: the link's target's when the name is a link.
    syncFolder(QFile::encodeName(QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath()));
}

bool SettingsStore::isTemporaryName(const QString& fileName)
{
    // QSaveFile names its temporary file after the file, "." and six ASCII letters; the
    // earlier versions' saves (mkstemp) used six letters or digits, which a save killed
    // before an upgrade may have left.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("HKEY_(CLASSES_ROOT|CURRENT_USER|LOCAL_MACHINE|USERS)"
                                                           "\\.reg\\.[A-Za-z0-9]{6}")));
    return pattern.match(fileName).hasMatch();
}

void SettingsStore::setBeforeReplaceHook(std::function<void()> hook)
{
    g_beforeReplace = std::move(hook);
}

int SettingsStore::fileReads()
{
    return g_fileReads;
}

int SettingsStore::fileWrites()
{
    return g_fileWrites;
}

// ---- batch --------------------------------------------------------------------

SettingsBatch::SettingsBatch() : m_previous(g_batch)
{
    g_batch = this;
}

SettingsBatch::~SettingsBatch()
{
    g_batch = m_previous;
}

SettingsBatch* SettingsBatch::current()
{
    return g_batch;
}

SettingsStore& SettingsBatch::store(RootKey root)
{
    for (auto& [store, changed] : m_stores)
        if (store->root() == root)
            return *store;
    m_stores.emplace_back(std::make_unique<SettingsStore>(SettingsStore::load(root)), false);
    return *m_stores.back().first;
}

void SettingsBatch::markChanged(RootKey root)
{
    for (auto& [store, changed] : m_stores)
        if (store->root() == root)
            changed = true;
}

void SettingsBatch::commit()
{
    for (auto& [store, changed] : m_stores) {
        if (changed) {
            changed = false;
            store->save();
        }
    }
}
