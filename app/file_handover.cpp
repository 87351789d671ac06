#include "app/file_handover.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <memory>
#include <utility>

namespace pelorin::ui {

namespace {

// The socket lives in the user's runtime folder, or in the shared temporary folder where another
// user could have put a socket of their own under the name: each end makes sure the other is the
// same user.
bool PeerIsThisUser(qintptr descriptor) {
#ifdef SO_PEERCRED
  ucred peer{};
  socklen_t size = sizeof peer;
  return descriptor >= 0 &&
         getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
         peer.uid == geteuid();
#else
  return descriptor >= 0;
#endif
}

// True when the client still waits for its answer: connected, and nothing after its request. One
// that gave up (its time ran out while this copy was busy converting) has closed its end, and its
// request must not be taken: it has already told its user the file was not handed over.
bool ClientWaits(const QLocalSocket& socket) {
  if (socket.state() != QLocalSocket::ConnectedState || socket.bytesAvailable() > 0) return false;
  char byte = 0;
  const ssize_t peeked =
      recv(static_cast<int>(socket.socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

void Drop(QLocalSocket& socket) {
  socket.abort();
  socket.deleteLater();
}

void SetError(QString* error, const QString& text) {
  if (error != nullptr) *error = text;
}

}  // namespace

QByteArray HandoverRequest(const QString& path) {
  const QByteArray bytes = path.toUtf8();
  QByteArray request(kHandoverTag, sizeof kHandoverTag);
  char length[4];
  qToBigEndian(static_cast<quint32>(bytes.size()), length);
  request.append(length, sizeof length);
  request.append(bytes);
  return request;
}

FileHandoverServer::FileHandoverServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.setMaxPendingConnections(kMaxClients);
  connect(&server_, &QLocalServer::newConnection, this, &FileHandoverServer::AcceptClients);
}

bool FileHandoverServer::Listen(const QString& socketPath) {
  QLocalServer::removeServer(socketPath);
  return server_.listen(socketPath);
}

void FileHandoverServer::AcceptClients() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    // A flood of connections is cut off rather than queued.
    if (clients_ >= kMaxClients || !PeerIsThisUser(socket->socketDescriptor())) {
      Drop(*socket);
      continue;
    }
    Serve(socket);
  }
}

void FileHandoverServer::Serve(QLocalSocket* socket) {
  ++clients_;
  connect(socket, &QObject::destroyed, this, [this] { --clients_; });
  // Qt buffers no more than a request can hold.
  socket->setReadBufferSize(kHandoverHeaderBytes + kMaxHandoverPathBytes + 1);
  auto received = std::make_shared<QByteArray>();
  connect(socket, &QLocalSocket::readyRead, this,
          [this, socket, received] { Read(*socket, *received); });
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  // Parented to the socket: it goes with it.
  auto* deadline = new QTimer(socket);
  deadline->setSingleShot(true);
  connect(deadline, &QTimer::timeout, socket, [socket] { Drop(*socket); });
  deadline->start(clientTimeoutMs_);
  // Bytes may have come with the connection.
  if (socket->bytesAvailable() > 0) Read(*socket, *received);
}

void FileHandoverServer::Read(QLocalSocket& socket, QByteArray& received) {
  constexpr qsizetype kLimit = kHandoverHeaderBytes + kMaxHandoverPathBytes + 1;
  received.append(socket.read(kLimit - received.size()));
  if (received.size() < kHandoverHeaderBytes) return;
  if (!received.startsWith(QByteArray::fromRawData(kHandoverTag, sizeof kHandoverTag))) {
    return Drop(socket);
  }
  const quint32 length = qFromBigEndian<quint32>(received.constData() + sizeof kHandoverTag);
  if (length > static_cast<quint32>(kMaxHandoverPathBytes)) return Drop(socket);
  const qsizetype total = kHandoverHeaderBytes + static_cast<qsizetype>(length);
  if (received.size() < total) return;
  if (received.size() > total) return Drop(socket);

  // A path only: valid UTF-8 (what fromUtf8 would have to replace does not come back the same),
  // no NUL, and absolute, since this copy's working folder is not the sender's.
  const QByteArray bytes = received.sliced(kHandoverHeaderBytes);
  const QString path = QString::fromUtf8(bytes);
  if (path.isEmpty() || path.toUtf8() != bytes || path.contains(QChar(u'\0')) ||
      !QDir::isAbsolutePath(path) || !ClientWaits(socket)) {
    return Drop(socket);
  }
  // One request per connection: whatever follows is not read.
  disconnect(&socket, &QLocalSocket::readyRead, this, nullptr);
  const bool taken = handler_ && handler_(path);
  socket.write(taken ? &kTakenReply : &kIgnoredReply, 1);
  // Sends the answer, then closes; the socket goes once disconnected (or at its deadline).
  socket.disconnectFromServer();
}

HandoverResult HandFileOver(const QString& socketPath, const QString& absolutePath, int timeoutMs,
                            QString* error) {
  const QByteArray request = HandoverRequest(absolutePath);
  if (request.size() > kHandoverHeaderBytes + kMaxHandoverPathBytes) {
    SetError(error, QStringLiteral("the file name is too long"));
    return HandoverResult::kFailed;
  }
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(timeoutMs)) {
    const QLocalSocket::LocalSocketError cause = socket.error();
    if (cause == QLocalSocket::ServerNotFoundError ||
        cause == QLocalSocket::ConnectionRefusedError) {
      return HandoverResult::kNoServer;
    }
    SetError(error, socket.errorString());
    return HandoverResult::kFailed;
  }
  if (!PeerIsThisUser(socket.socketDescriptor())) {
    SetError(error, QStringLiteral("%1 is another user's").arg(socketPath));
    return HandoverResult::kFailed;
  }
  socket.write(request);
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
      SetError(error, QStringLiteral("the running copy did not take the request"));
      return HandoverResult::kFailed;
    }
  }
  while (socket.bytesAvailable() < 1) {
    if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      SetError(error, socket.state() == QLocalSocket::ConnectedState
                          ? QStringLiteral("the running copy did not answer in time")
                          : QStringLiteral("the running copy refused the request"));
      return HandoverResult::kFailed;
    }
  }
  char reply = 0;
  socket.getChar(&reply);
  if (reply == kTakenReply) return HandoverResult::kTaken;
  if (reply == kIgnoredReply) return HandoverResult::kIgnored;
  SetError(error, QStringLiteral("the running copy gave an unknown answer"));
  return HandoverResult::kFailed;
}

}  // namespace pelorin::ui
