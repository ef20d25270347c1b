// What BlueZ has told of its objects: every object path with its interfaces
// and their properties, kept up to date from GetManagedObjects,
// InterfacesAdded, InterfacesRemoved and PropertiesChanged. It holds exactly
// what BlueZ holds, so it stays as small as BlueZ's own tree.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <map>
#include <vector>

namespace ble::bluez {

using InterfaceMap = QMap<QString, QVariantMap>;

class ObjectMirror {
public:
    void clear() { objects_.clear(); }
    // Adds the interfaces (or replaces their properties) of an object.
    void add(const QString& path, const InterfaceMap& interfaces);
    // Removes interfaces; the object goes once it has none left.
    void remove(const QString& path, const QStringList& interfaces);
    // Removes every object below `parent` (not `parent` itself).
    void removeBelow(const QString& parent);
    // Applies a property change; unknown objects and interfaces are ignored.
    void change(const QString& path, const QString& interface, const QVariantMap& changed,
                const QStringList& invalidated);

    bool has(const QString& path, const QString& interface) const;
    // The properties of the interface, or null.
    const QVariantMap* properties(const QString& path, const QString& interface) const;
    QVariant property(const QString& path, const QString& interface, const QString& name) const;
    // Objects with the interface below `parent` (at any depth), in path order,
    // which is handle order for BlueZ's GATT objects.
    std::vector<QString> below(const QString& parent, const QString& interface) const;
    // Every object with the interface, in path order.
    std::vector<QString> all(const QString& interface) const;
    std::size_t size() const { return objects_.size(); }

private:
    std::map<QString, InterfaceMap> objects_;
};

}  // namespace ble::bluez
