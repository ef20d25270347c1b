#include "ble/bluez/ObjectMirror.h"

namespace ble::bluez {

void ObjectMirror::add(const QString& path, const InterfaceMap& interfaces) {
    InterfaceMap& object = objects_[path];
    for (auto it = interfaces.begin(); it != interfaces.end(); ++it) object.insert(it.key(), it.value());
}

void ObjectMirror::remove(const QString& path, const QStringList& interfaces) {
    const auto found = objects_.find(path);
    if (found == objects_.end()) return;
    for (const QString& interface : interfaces) found->second.remove(interface);
    if (found->second.isEmpty()) objects_.erase(found);
}

void ObjectMirror::removeBelow(const QString& parent) {
    const QString prefix = parent + QLatin1Char('/');
    auto it = objects_.lower_bound(prefix);
    while (it != objects_.end() && it->first.startsWith(prefix)) it = objects_.erase(it);
}

void ObjectMirror::change(const QString& path, const QString& interface, const QVariantMap& changed,
                          const QStringList& invalidated) {
    const auto found = objects_.find(path);
    if (found == objects_.end()) return;
    const auto properties = found->second.find(interface);
    if (properties == found->second.end()) return;
    for (auto it = changed.begin(); it != changed.end(); ++it) properties->insert(it.key(), it.value());
    for (const QString& name : invalidated) properties->remove(name);
}

bool ObjectMirror::has(const QString& path, const QString& interface) const {
    return properties(path, interface) != nullptr;
}

const QVariantMap* ObjectMirror::properties(const QString& path, const QString& interface) const {
    const auto found = objects_.find(path);
    if (found == objects_.end()) return nullptr;
    const auto properties = found->second.constFind(interface);
    return properties == found->second.constEnd() ? nullptr : &*properties;
}

QVariant ObjectMirror::property(const QString& path, const QString& interface,
                                const QString& name) const {
    const QVariantMap* map = properties(path, interface);
    return map ? map->value(name) : QVariant();
}

std::vector<QString> ObjectMirror::below(const QString& parent, const QString& interface) const {
    std::vector<QString> paths;
    const QString prefix = parent + QLatin1Char('/');
    for (auto it = objects_.lower_bound(prefix); it != objects_.end() && it->first.startsWith(prefix); ++it) {
        if (it->second.contains(interface)) paths.push_back(it->first);
    }
    return paths;
}

std::vector<QString> ObjectMirror::all(const QString& interface) const {
    std::vector<QString> paths;
    for (const auto& [path, interfaces] : objects_) {
        if (interfaces.contains(interface)) paths.push_back(path);
    }
    return paths;
}

}  // namespace ble::bluez
