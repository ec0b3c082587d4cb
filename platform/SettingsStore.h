#pragma once
// Typed settings store standing in for the Windows registry: keys of case-insensitive
// names, values of the registry's types kept as raw bytes, one REGEDIT4 text file per
// root key ("HKEY_LOCAL_MACHINE.reg") in the program folder, written atomically (mode 0600).

#include "common/Error.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>
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

struct RegKey
{
    QString name;
    std::vector<RegValue> values;
    std::vector<std::unique_ptr<RegKey>> subkeys;

    RegKey* subkey(QStringView name) const;
    RegValue* value(QStringView name);
    const RegValue* value(QStringView name) const;
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
    // parsed raises SettingsError (ERROR_REGISTRY_IO_FAILED or ERROR_BADDB).
    static SettingsStore load(RootKey root);

    RootKey root() const { return m_root; }
    // The key at a path of names separated by "\" (a leading "\" allowed); nullptr when missing.
    const RegKey* findKey(const QString& keyPath) const;
    // The key at a path, made with any missing keys above it. Raises SettingsError
    // (ERROR_BAD_PATHNAME) for a name the store cannot hold (control characters).
    RegKey& createKey(const QString& keyPath, bool* created = nullptr);
    // Sets a value; false when the store refuses it (a name it cannot hold).
    static bool setValue(RegKey& key, const QString& name, quint32 type, const QByteArray& data);

    // Writes the tree to the root's file atomically (temporary file, fsync, rename), mode 0600.
    // Raises SettingsError (ERROR_REGISTRY_IO_FAILED) with the system's text when that fails.
    void save() const;

    // The REGEDIT4 text of the tree, and the tree of a REGEDIT4 text (raises ERROR_BADDB).
    QString toText() const;
    static SettingsStore fromText(RootKey root, const QString& text, const QString& fileName);

    // Texts as the registry stores them (UTF-16LE with a terminating zero) and back
    // (up to the first zero character).
    static QByteArray textData(const QString& text);
    static QString dataText(const QByteArray& data);

private:
    explicit SettingsStore(RootKey root);

    RootKey m_root;
    std::unique_ptr<RegKey> m_tree;
};
