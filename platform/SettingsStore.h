#pragma once
// Typed settings store standing in for the Windows registry: keys of case-insensitive
// names, values of the registry's types kept as raw bytes, one REGEDIT4 text file per
// root key ("HKEY_LOCAL_MACHINE.reg") in the program folder, written atomically (mode 0600).

#include "core/Error.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The predefined root keys; each has a file of its own.
enum RootKey { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS };

// The registry's own value type numbers, as they appear in "hex(N):" in a REGEDIT4 file.
// They are not the type codes the settings routines take (those are 0 to 4 in another order).
enum RegType : quint32 { REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };

// Registry error codes carried by SettingsError.
enum RegError : int {
    ERROR_BADDB = 1009,              // the settings file is damaged or not REGEDIT4
    ERROR_CANTREAD = 1012,           // a value could not be read
    ERROR_CANTWRITE = 1013,          // a value could not be written
    ERROR_REGISTRY_IO_FAILED = 1016, // the system refused to read or write the file
    ERROR_BAD_PATHNAME = 161,        // a key path with a name the store cannot hold
};

// An error of the settings store: the Spanish text the user sees and its registry code.
class SettingsError : public PennaroError
{
public:
    SettingsError(int code, QString message) : PennaroError(std::move(message)), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

struct RegValue
{
    QString name; // "" is the key's default value ("@" in the file)
    quint32 type = REG_NONE;
    QByteArray data; // as the registry holds it: texts in UTF-16LE with a terminating zero
};

// A key with its values and subkeys in the order they were added (the file's order).
// Names are found through an index by case-folded name, so that reading a file with many
// values or keys stays linear in its size; add them only through addValue and addSubkey.
struct RegKey
{
    QString name;
    std::vector<RegValue> values;
    std::vector<std::unique_ptr<RegKey>> subkeys;

    RegKey* subkey(QStringView name) const;
    RegValue* value(QStringView name);
    const RegValue* value(QStringView name) const;
    // Appends a subkey or a value; the caller has checked that none has the name yet.
    RegKey& addSubkey(const QString& name);
    RegValue& addValue(const QString& name, quint32 type, const QByteArray& data);

private:
    QHash<QString, std::size_t> m_subkeyIndex;
    QHash<QString, std::size_t> m_valueIndex;
};

// One root key's tree, loaded whole from its file, changed in memory and saved whole.
class SettingsStore
{
public:
    // The folder holding the files: the one set (tests), else the program folder.
    static void setFolder(const QString& folder);
    static QString folder();
    static QString rootName(RootKey root);
    static QString filePath(RootKey root);

    // Reads the root's file; a missing file is an empty tree. A file that cannot be read or
    // parsed raises SettingsError (ERROR_REGISTRY_IO_FAILED or ERROR_BADDB), and so does a
    // path that is not a regular file (a FIFO, a device, a folder), which is never opened.
    static SettingsStore load(RootKey root);

    RootKey root() const { return m_root; }
    // The key at a path of names separated by "\" (a leading "\" allowed); nullptr when missing.
    const RegKey* findKey(const QString& keyPath) const;
    // The text of a REG_SZ or REG_EXPAND_SZ value; none when the key or the value is
    // missing or the value is not a text.
    std::optional<QString> text(const QString& keyPath, const QString& valueName) const;
    // The key at a path, made with any missing keys above it. Raises SettingsError
    // (ERROR_BAD_PATHNAME) for a name the store cannot hold (control characters).
    RegKey& createKey(const QString& keyPath, bool* created = nullptr);
    // Sets a value; false when the store refuses it (a name it cannot hold).
    static bool setValue(RegKey& key, const QString& name, quint32 type, const QByteArray& data);

    // Writes the tree to the root's file atomically (QSaveFile, then a sync of the folder), mode
    // 0600; a symbolic link is followed and stays. Raises SettingsError (ERROR_REGISTRY_IO_FAILED)
    // with the system's text when that fails, and without writing when the path holds something
    // other than a regular file.
    void save() const;

    // The name a save's temporary file can have on disk (it has none at all where the system
    // can make a file without one): the file's name, ".", and six ASCII letters
    // ("HKEY_LOCAL_MACHINE.reg.aBZkxQ"). True for a name of that form for any of the root
    // keys, so that what a killed save left behind can be found.
    static bool isTemporaryName(const QString& fileName);

    // Tests: runs inside save() once the whole new text is written to the temporary file,
    // before it takes the file's place (a test process stops there to be killed mid-save).
    // Empty: none.
    static void setBeforeReplaceHook(std::function<void()> hook);

    // How many times a root's file has been read or written by this process.
    static int fileReads();
    static int fileWrites();

    // The REGEDIT4 text of the tree, and the tree of a REGEDIT4 text (raises ERROR_BADDB).
    QString toText() const;
    static SettingsStore fromText(RootKey root, const QString& text, const QString& fileName);

    // Texts as the registry stores them (UTF-16LE with a terminating zero) and back
    // (up to the first zero character).
    static QByteArray textData(const QString& text);
    static QString dataText(const QByteArray& data);

private:
    explicit SettingsStore(RootKey root);
    // The key a file's "[HKEY_...\path]" line names, made when missing (raises ERROR_BADDB).
    RegKey* keyOfLine(QStringView line, const QString& fileName, int lineNo);

    RootKey m_root;
    std::unique_ptr<RegKey> m_tree;
};

// One operation on the settings, such as loading them at start or one "Guardar": while an
// instance is alive the settings routines read each root's file at most once, keep their
// changes in memory and write each changed root once, at commit(). Without one, every
// routine reads (and writes) the file itself. Only one batch is current at a time; a
// batch made while another is alive takes over until it ends.
class SettingsBatch
{
public:
    SettingsBatch();
    // Changes not committed are dropped.
    ~SettingsBatch();
    SettingsBatch(const SettingsBatch&) = delete;
    SettingsBatch& operator=(const SettingsBatch&) = delete;

    static SettingsBatch* current();

    // The root's tree, read from its file on first use (a failed read is tried again next time).
    SettingsStore& store(RootKey root);
    void markChanged(RootKey root);
    // Writes every changed root (raises as SettingsStore::save); nothing is left pending.
    void commit();

private:
    SettingsBatch* m_previous;
    std::vector<std::pair<std::unique_ptr<SettingsStore>, bool>> m_stores; // tree, changed
};
