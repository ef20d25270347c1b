#include "ble/bluez/DBusValues.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <map>

namespace ble::bluez {
namespace {

bool isArgument(const QVariant& value, const char* signature) {
    return value.userType() == qMetaTypeId<QDBusArgument>() &&
           value.value<QDBusArgument>().currentSignature() == QLatin1String(signature);
}

QVariantMap variantMap(const QVariant& value) {
    if (value.userType() == QMetaType::QVariantMap) return value.toMap();
    if (isArgument(value, "a{sv}")) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return {};
}

// a{sa{sv}} from the argument's current position.
InterfaceMap readInterfaces(const QDBusArgument& argument) {
    InterfaceMap interfaces;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString name;
        QVariantMap properties;
        argument.beginMapEntry();
        argument >> name >> properties;
        argument.endMapEntry();
        interfaces.insert(name, properties);
    }
    argument.endMap();
    return interfaces;
}

QString pathOf(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
    return {};
}

}  // namespace

std::vector<std::pair<QString, InterfaceMap>> readManagedObjects(const QDBusMessage& reply) {
    std::vector<std::pair<QString, InterfaceMap>> objects;
    const QVariant first = reply.arguments().value(0);
    if (!isArgument(first, "a{oa{sa{sv}}}")) return objects;
    const QDBusArgument argument = first.value<QDBusArgument>();
    argument.beginMap();
    while (!argument.atEnd()) {
        QDBusObjectPath path;
        argument.beginMapEntry();
        argument >> path;
        InterfaceMap interfaces = readInterfaces(argument);
        argument.endMapEntry();
        objects.emplace_back(path.path(), std::move(interfaces));
    }
    argument.endMap();
    return objects;
}

std::optional<std::pair<QString, InterfaceMap>> readInterfacesAdded(const QDBusMessage& signal) {
    const QList<QVariant> arguments = signal.arguments();
    const QString path = pathOf(arguments.value(0));
    if (path.isEmpty() || !isArgument(arguments.value(1), "a{sa{sv}}")) return std::nullopt;
    return std::make_pair(path, readInterfaces(arguments.value(1).value<QDBusArgument>()));
}

std::optional<std::pair<QString, QStringList>> readInterfacesRemoved(const QDBusMessage& signal) {
    const QList<QVariant> arguments = signal.arguments();
    const QString path = pathOf(arguments.value(0));
    if (path.isEmpty()) return std::nullopt;
    return std::make_pair(path, strings(arguments.value(1)));
}

std::optional<PropertiesChange> readPropertiesChanged(const QDBusMessage& signal) {
    const QList<QVariant> arguments = signal.arguments();
    if (arguments.size() < 2 || arguments.value(0).userType() != QMetaType::QString) return std::nullopt;
    return PropertiesChange{arguments.value(0).toString(), variantMap(arguments.value(1)),
                            strings(arguments.value(2))};
}

std::optional<std::vector<uint8_t>> manufacturerData(const QVariant& value) {
    if (!isArgument(value, "a{qv}")) return std::nullopt;
    std::map<quint16, std::vector<uint8_t>> byCompany;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginMap();
    while (!argument.atEnd()) {
        quint16 company = 0;
        QDBusVariant data;
        argument.beginMapEntry();
        argument >> company >> data;
        argument.endMapEntry();
        byCompany[company] = bytes(data.variant());
    }
    argument.endMap();
    if (byCompany.empty()) return std::nullopt;
    constexpr quint16 kVehicleCompanyId = 0xEFBE;  // BE EF on the air
    const auto chosen = byCompany.contains(kVehicleCompanyId) ? byCompany.find(kVehicleCompanyId)
                                                              : byCompany.begin();
    std::vector<uint8_t> field{static_cast<uint8_t>(chosen->first & 0xFF),
                               static_cast<uint8_t>(chosen->first >> 8)};
    field.insert(field.end(), chosen->second.begin(), chosen->second.end());
    return field;
}

std::vector<uint8_t> bytes(const QVariant& value) {
    QByteArray array;
    if (value.userType() == QMetaType::QByteArray) {
        array = value.toByteArray();
    } else if (isArgument(value, "ay")) {
        array = qdbus_cast<QByteArray>(value.value<QDBusArgument>());
    }
    return std::vector<uint8_t>(array.begin(), array.end());
}

QStringList strings(const QVariant& value) {
    if (value.userType() == QMetaType::QStringList) return value.toStringList();
    if (isArgument(value, "as")) return qdbus_cast<QStringList>(value.value<QDBusArgument>());
    return {};
}

std::vector<Uuid> uuids(const QVariant& value) {
    std::vector<Uuid> list;
    for (const QString& text : strings(value)) {
        const Uuid uuid = Uuid::fromString(text.toStdString());
        if (!uuid.isNull()) list.push_back(uuid);
    }
    return list;
}

std::optional<bool> boolean(const QVariant& value) {
    if (value.userType() != QMetaType::Bool) return std::nullopt;
    return value.toBool();
}

std::optional<int> int16(const QVariant& value) {
    if (value.userType() != QMetaType::Short) return std::nullopt;
    return value.toInt();
}

QString text(const QVariant& value) {
    return value.userType() == QMetaType::QString ? value.toString() : QString();
}

std::optional<uint16_t> uint16(const QVariant& value) {
    if (value.userType() != QMetaType::UShort) return std::nullopt;
    return static_cast<uint16_t>(value.toUInt());
}

bool isDBusError(const QDBusMessage& reply, const char* name) {
    return reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QLatin1String(name);
}

std::string describeReply(const QDBusMessage& reply) {
    const QString message = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return (reply.errorName() + QStringLiteral(": ") + message).toStdString();
}

}  // namespace ble::bluez
