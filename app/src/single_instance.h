#pragma once
// One running program per user and program folder.
//
// The first start takes a lock file and later serves a local socket; a second
// start connects to that socket, asks the first to come to the front, hands
// over its command text and waits until the first instance has processed it.
// Each request is a frame: message (u32), payload length (u32), payload; each
// answer is one u32. All integers are little-endian.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace qvr::app {

// The messages the first instance understands.
inline constexpr quint32 kMsgReinitDataBurner = 0x0BD1;
inline constexpr quint32 kMsgQueryInstance = 0x80C9;
inline constexpr quint32 kMsgRestoreAndRaise = 0x80CA;
inline constexpr quint32 kMsgCommandText = 0x80CB;
inline constexpr quint32 kInstanceAnswer = 234539;  // answer to kMsgQueryInstance

// Frames larger than this are refused; command texts are far smaller.
inline constexpr quint32 kMaxPayload = 64u * 1024 * 1024;

// The name of the instance socket and lock: "QVR_Zem_Instance" and the user
// id, plus a digest of QUORVELLA_HOME when it is set, since a separate program
// folder is a separate installation.
QString InstanceName();

// Holds the lock of the first instance for the whole process.
class TInstanceLock {
 public:
  TInstanceLock();
  ~TInstanceLock();
  // True when this process is the first instance (the lock was free or stale).
  bool TryAcquire();

 private:
  std::unique_ptr<QLockFile> lock_;
};

// Per-connection state: bytes received and whether a message is being handled.
struct TInstanceConnection {
  QByteArray buffer;
  bool busy = false;
};

// Serves the requests of later starts. The handler answers each message; it
// runs on the UI thread, and the sender waits until it has returned.
class TInstanceServer : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<quint32(quint32 message, const QByteArray& payload)>;
  explicit TInstanceServer(Handler handler, QObject* parent = nullptr);
  ~TInstanceServer() override;
  bool Listen(const QString& name);

 private:
  void OnNewConnection();
  void Serve(QLocalSocket* socket, std::shared_ptr<TInstanceConnection> state);

  Handler handler_;
  QLocalServer* server_;
};

// A second start's side of the hand-over.
class TInstanceClient {
 public:
  // Connects to the first instance, trying for up to `wait_ms` while it starts.
  bool Connect(const QString& name, int wait_ms);
  // Sends one message and waits for its answer; false when the connection fails.
  bool Send(quint32 message, const QByteArray& payload, quint32& answer);
  TInstanceClient();
  ~TInstanceClient();

 private:
  std::unique_ptr<QLocalSocket> socket_;
};

// Restore, then (when there is one) the command text; true when every message
// was answered.
bool HandOverToRunningInstance(const QString& name, const QString& command_text);

}  // namespace qvr::app
