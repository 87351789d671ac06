#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>

class QLocalSocket;

namespace pelorin::ui {

// A later start of the program hands the file it was given to the copy that runs, over a local
// socket of the user's. One request per connection: the tag, the length of the path as 4 bytes
// big-endian, then the absolute path in UTF-8 (at most kMaxHandoverPathBytes); the answer is one
// byte, kTakenReply or kIgnoredReply. A request that breaks these rules is closed unanswered.
inline constexpr char kHandoverTag[4] = {'P', 'L', 'O', '1'};
inline constexpr int kHandoverHeaderBytes = 8;
inline constexpr int kMaxHandoverPathBytes = 16384;
inline constexpr char kTakenReply = 'T';
inline constexpr char kIgnoredReply = 'I';

// A request for `path`, as HandFileOver sends it.
QByteArray HandoverRequest(const QString& path);

// The running copy's end: takes requests without ever waiting for a client, so that a broken or
// slow one cannot hold the window. Only the user's own processes are served.
class FileHandoverServer : public QObject {
  Q_OBJECT

 public:
  // Given each path received; true when it was taken. Called from the event loop; it must not
  // run a modal loop itself (MainWindow::OpenFile only schedules the job).
  using Handler = std::function<bool(const QString& path)>;

  static constexpr int kMaxClients = 8;
  static constexpr int kDefaultClientTimeoutMs = 5000;

  explicit FileHandoverServer(Handler handler, QObject* parent = nullptr);

  // Listens at socketPath. Only the copy holding the single-instance lock may call it: a socket
  // file already there is then one a crashed copy left, and is removed first.
  bool Listen(const QString& socketPath);
  QString ErrorString() const { return server_.errorString(); }
  // How long a client may take to send its request once connected.
  void SetClientTimeout(int milliseconds) { clientTimeoutMs_ = milliseconds; }

 private:
  void AcceptClients();
  void Serve(QLocalSocket* socket);
  void Read(QLocalSocket& socket, QByteArray& received);

  Handler handler_;
  int clients_ = 0;
  int clientTimeoutMs_ = kDefaultClientTimeoutMs;
  // Last: its sockets, going with it, still count themselves off clients_.
  QLocalServer server_;
};

enum class HandoverResult {
  kTaken,     // the running copy took the file as a drop
  kIgnored,   // it was busy and ignored it, as it ignores drops then
  kNoServer,  // nothing listens at the socket (a copy starting, ending or gone)
  kFailed,    // the request could not be made or was not answered; see error
};

// The later start's end: sends `absolutePath` to the copy listening at socketPath and waits at
// most timeoutMs for its answer. Blocking; for the short-lived second start, never the window.
HandoverResult HandFileOver(const QString& socketPath, const QString& absolutePath, int timeoutMs,
                            QString* error = nullptr);

}  // namespace pelorin::ui
