#include "ui/app.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <iostream>

#include "settings/settings.h"
#include "ui/main_window.h"

namespace kamvo::ui {

namespace {
constexpr char kShow[] = "show\n";
constexpr int kConnectWaitMs = 1000;
}  // namespace

QString InstanceSocketName() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return QDir(runtime).filePath("kamvo.socket");
  return QString("kamvo-%1").arg(getuid());
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

bool SingleInstance::NotifyRunning() {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(kConnectWaitMs)) return false;
  socket.write(kShow);
  socket.flush();
  socket.waitForBytesWritten(kConnectWaitMs);
  // The running copy closes the connection once it has read the request.
  socket.waitForDisconnected(kConnectWaitMs);
  return true;
}

bool SingleInstance::Listen(std::function<void()> onShow) {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name_)) {
    // Taken: by a copy that started at the same moment (it answers), or
    // left behind by one that died (nobody answers), which is removed.
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(kConnectWaitMs)) return false;
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_)) return false;
  }
  connect(server_, &QLocalServer::newConnection, this, [this, onShow] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      const auto answer = [client, onShow] {
        if (!client->canReadLine() || client->property("answered").toBool()) return;
        client->setProperty("answered", true);
        const QByteArray request = client->readLine();
        if (request == kShow) onShow();
        client->disconnectFromServer();
      };
      connect(client, &QLocalSocket::readyRead, this, answer);
      // The request may have arrived with the connection.
      answer();
    }
  });
  return true;
}

bool DisplayAvailable() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int RunWindowProgram(int argc, char** argv) {
  QApplication app(argc, argv);
  // Qt's own dialogs (print, files) in the user's language.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale::system(), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);
  QApplication::setApplicationName("KAMVO");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(ProgramIcon());

  SingleInstance instance(InstanceSocketName());
  if (instance.NotifyRunning()) return 0;

  TMainWindow window;
  if (!instance.Listen([&window] { window.TrayClick(); }) && instance.NotifyRunning()) return 0;
  window.ShowTrayIcon(window.Settings().Cfg.TrayIcon);
  // A start always shows the window; the icon only keeps it when it is
  // closed or minimised.
  QTimer::singleShot(0, &window, [&window] { window.TrayClick(); });
  const int status = QApplication::exec();
  return status;
}

}  // namespace kamvo::ui
