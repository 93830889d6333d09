#pragma once
// Where a live session's zone events go: standard output ("-"), a line each, flushed at once,
// or a host and port ("udp://127.0.0.1:9000"), one datagram each. A datagram refused because
// nothing listens yet is not an error (the receiver may start later); any other failure is.
// Tracker thread.

#include <QByteArray>
#include <QString>

class EventSender
{
public:
    EventSender() = default;
    ~EventSender();
    EventSender(const EventSender &) = delete;
    EventSender &operator=(const EventSender &) = delete;

    // Why `target` names no place to send to, or empty. Nothing is opened.
    static QString targetProblem(const QString &target);
    // False with the reason in *error.
    bool open(const QString &target, QString *error);
    // One event; false with the reason in *error when it could not be sent.
    bool send(const QByteArray &line, QString *error);

private:
    bool toStandardOutput = false;
    int socketFd = -1;
};
