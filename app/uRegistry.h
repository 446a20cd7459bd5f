#pragma once
// Read-only view of the desktop's file-type registry. Linux has no registry, so the
// classes root is made from the MIME database and the icon theme:
//   ".ext"                 default value = the MIME type that extension names
//                          (the key does not exist when the database knows nothing better
//                          than application/octet-stream)
//   "<mime type>"          default value = the type's comment, its human-readable name
//   "<mime type>\DefaultIcon"  default value = a theme icon name for the type
// Every other root has no keys.
#include <QObject>
#include <QString>
#include <optional>

enum TRootKey { rkClassesRoot, rkCurrentUser, rkLocalMachine, rkUsers, rkCurrentConfig, rkDynData };

class TuRegistry : public QObject {
public:
    explicit TuRegistry(QObject* parent = nullptr) : QObject(parent) {}

    TRootKey Root = rkClassesRoot;
    QString Key;

    // The named value of Key (the empty name is the key's default value); Default when
    // the key cannot be opened, the empty text when it opens without such a value.
    QString ReadString(const QString& name, const QString& Default) const;
    // True when the key's default value is a non-empty text.
    bool KeyExists() const;

private:
    // The key's default value, or nothing when the key does not exist.
    std::optional<QString> DefaultValue() const;
};
