// The connections that have not shown the token: raw ones still sending
// their request head, and WebSockets waiting for their hello. They get a
// budget of their own, apart from the phones let in: a few per peer address
// and a few more in all. A newcomer past either bound pushes out the oldest
// stranger of its own address, or else of the address holding the most, so
// a flood from one address only ever spends that address's share.
#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <vector>

class QTcpSocket;

namespace phone {

class Strangers : public QObject {
    Q_OBJECT

public:
    Strangers(std::size_t perAddress, std::size_t overall, QObject* parent = nullptr);
    void setBounds(std::size_t perAddress, std::size_t overall);

    // Counts a new connection, aborting the one it pushes out, if any.
    void admit(QTcpSocket* socket);
    // It showed the token: it is a phone now, and no longer counted.
    void trust(QTcpSocket* socket);
    std::size_t count() const { return waiting_.size(); }

private:
    struct Waiting {
        QTcpSocket* socket;
        QString address;
    };
    void forget(QObject* socket);
    std::size_t countFrom(const QString& address) const;
    // The oldest stranger from that address.
    std::vector<Waiting>::iterator oldestFrom(const QString& address);

    std::size_t perAddress_;
    std::size_t overall_;
    std::vector<Waiting> waiting_;  // oldest first
};

}  // namespace phone
