#include "tracking/live/EventSender.h"

#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool parseUdp(const QString &target, QByteArray *host, QByteArray *port)
{
    const QUrl url(target, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("udp") || url.host().isEmpty()
        || url.port() <= 0 || !url.path().isEmpty() || url.hasQuery())
        return false;
    *host = url.host().toUtf8();
    *port = QByteArray::number(url.port());
    return true;
}

} // namespace

EventSender::~EventSender()
{
    if (socketFd >= 0)
        ::close(socketFd);
}

QString EventSender::targetProblem(const QString &target)
{
    QByteArray host, port;
    if (target == QLatin1String("-") || parseUdp(target, &host, &port))
        return QString();
    return QStringLiteral("--events wants - or udp://HOST:PORT, got '%1'").arg(target);
}

bool EventSender::open(const QString &target, QString *error)
{
    if (target == QLatin1String("-")) {
        toStandardOutput = true;
        return true;
    }
    QByteArray host, port;
    if (!parseUdp(target, &host, &port)) {
        *error = targetProblem(target);
        return false;
    }
    addrinfo hints {};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    const int code = getaddrinfo(host.constData(), port.constData(), &hints, &found);
    if (code != 0) {
        *error = QStringLiteral("--events %1: %2")
                     .arg(target, QString::fromLocal8Bit(gai_strerror(code)));
        return false;
    }
    QString why;
    for (addrinfo *a = found; a && socketFd < 0; a = a->ai_next) {
        socketFd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (socketFd >= 0 && ::connect(socketFd, a->ai_addr, a->ai_addrlen) != 0) {
            why = QString::fromLocal8Bit(std::strerror(errno));
            ::close(socketFd);
            socketFd = -1;
        }
    }
    freeaddrinfo(found);
    if (socketFd < 0) {
        *error = QStringLiteral("--events %1: %2").arg(target, why);
        return false;
    }
    return true;
}

bool EventSender::send(const QByteArray &line, QString *error)
{
    if (toStandardOutput) {
        const QByteArray text = line + '\n';
        if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size())
            && std::fflush(stdout) == 0)
            return true;
        *error = QStringLiteral("cannot write the events to standard output: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (socketFd < 0)
        return false;
    // An error pending from an earlier datagram ("port unreachable": nobody listened then)
    // comes back instead of this one being sent; it is sent again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::send(socketFd, line.constData(), size_t(line.size()), 0) == ssize_t(line.size()))
            return true;
        if (errno != ECONNREFUSED)
            break;
    }
    if (errno == ECONNREFUSED)
        return true;
    *error = QStringLiteral("cannot send an event: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}
