#include "single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>
#include <unistd.h>

namespace qvr::app {

namespace {

constexpr int kHeaderSize = 8;

QByteArray Frame(quint32 message, const QByteArray& payload) {
  QByteArray frame(kHeaderSize, '\0');
  qToLittleEndian<quint32>(message, frame.data());
  qToLittleEndian<quint32>(static_cast<quint32>(payload.size()), frame.data() + 4);
  return frame + payload;
}

QByteArray Answer(quint32 value) {
  QByteArray bytes(4, '\0');
  qToLittleEndian<quint32>(value, bytes.data());
  return bytes;
}

QString LockFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return folder.isEmpty() ? QDir::tempPath() : folder;
}

}  // namespace

QString InstanceName() {
  QString name = QStringLiteral("QVR_Zem_Instance-%1").arg(getuid());
  const QByteArray home = qgetenv("QUORVELLA_HOME");
  if (!home.isEmpty()) {
    const QByteArray canonical = QDir(QString::fromLocal8Bit(home)).canonicalPath().toLocal8Bit();
    name += QLatin1Char('-') +
            QString::fromLatin1(QCryptographicHash::hash(canonical.isEmpty() ? home : canonical,
                                                         QCryptographicHash::Sha1).toHex().left(12));
  }
  return name;
}

TInstanceLock::TInstanceLock() = default;
TInstanceLock::~TInstanceLock() = default;

bool TInstanceLock::TryAcquire() {
  lock_ = std::make_unique<QLockFile>(LockFolder() + QLatin1Char('/') + InstanceName() + QStringLiteral(".lock"));
  lock_->setStaleLockTime(0);  // only a lock whose process is gone is stale
  if (lock_->tryLock(0)) return true;
  lock_.reset();
  return false;
}

TInstanceServer::TInstanceServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &TInstanceServer::OnNewConnection);
}

TInstanceServer::~TInstanceServer() = default;

bool TInstanceServer::Listen(const QString& name) {
  // Only the lock holder listens, so a socket left by a crashed instance is stale.
  QLocalServer::removeServer(name);
  return server_->listen(name);
}

void TInstanceServer::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    auto state = std::make_shared<TInstanceConnection>();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, state] { Serve(socket, state); });
    if (socket->bytesAvailable() > 0) Serve(socket, state);  // bytes that came with the connection
  }
}

void TInstanceServer::Serve(QLocalSocket* socket, std::shared_ptr<TInstanceConnection> state) {
  // Locals only: a handler that runs an event loop may see the socket closed
  // and deleted before it returns.
  QPointer<QLocalSocket> guard(socket);
  state->buffer += socket->readAll();
  // Frames arriving while a handler runs wait in the buffer and are handled
  // in order when it returns.
  if (state->busy) return;
  state->busy = true;
  while (guard && state->buffer.size() >= kHeaderSize) {
    const quint32 message = qFromLittleEndian<quint32>(state->buffer.constData());
    const quint32 length = qFromLittleEndian<quint32>(state->buffer.constData() + 4);
    if (length > kMaxPayload) {
      guard->abort();
      break;
    }
    if (static_cast<quint64>(state->buffer.size()) < kHeaderSize + static_cast<quint64>(length)) break;
    const QByteArray payload = state->buffer.mid(kHeaderSize, length);
    state->buffer.remove(0, kHeaderSize + length);
    const quint32 answer = handler_(message, payload);
    if (guard) guard->write(Answer(answer));
  }
  state->busy = false;
}

TInstanceClient::TInstanceClient() = default;
TInstanceClient::~TInstanceClient() = default;

bool TInstanceClient::Connect(const QString& name, int wait_ms) {
  QElapsedTimer timer;
  timer.start();
  while (true) {
    socket_ = std::make_unique<QLocalSocket>();
    socket_->connectToServer(name);
    if (socket_->waitForConnected(1000)) return true;
    if (timer.elapsed() >= wait_ms) return false;
    QThread::msleep(50);
  }
}

bool TInstanceClient::Send(quint32 message, const QByteArray& payload, quint32& answer) {
  if (!socket_ || socket_->state() != QLocalSocket::ConnectedState) return false;
  socket_->write(Frame(message, payload));
  while (socket_->bytesToWrite() > 0) {
    if (!socket_->waitForBytesWritten(-1)) return false;
  }
  // The first instance answers once the message has been handled, however long that takes.
  while (socket_->bytesAvailable() < 4) {
    if (!socket_->waitForReadyRead(-1)) return false;
  }
  answer = qFromLittleEndian<quint32>(socket_->read(4).constData());
  return true;
}

bool HandOverToRunningInstance(const QString& name, const QString& command_text) {
  TInstanceClient client;
  // The first instance serves once its window exists; give a start in progress a moment.
  if (!client.Connect(name, 5000)) return false;
  quint32 answer = 0;
  if (!client.Send(kMsgRestoreAndRaise, {}, answer)) return false;
  if (command_text.isEmpty()) return true;
  return client.Send(kMsgCommandText, command_text.toUtf8(), answer);
}

}  // namespace qvr::app
