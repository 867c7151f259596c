// The windowed program: one running copy per user, which a second start
// brings to the front.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace kamvo::ui {

// The name of the per-user socket: $XDG_RUNTIME_DIR/kamvo.socket when the
// runtime folder is set, otherwise a name with the user's id in Qt's
// temporary folder.
QString InstanceSocketName();

// The running copy's end of the socket.
class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QString name, QObject* parent = nullptr);

  // Asks a running copy to show its window: true when one answered.
  bool NotifyRunning();
  // Listens for later starts; a socket left behind by a copy that died is
  // removed first. onShow runs for every "show" received. False when
  // another copy listens already (or the socket cannot be made).
  bool Listen(std::function<void()> onShow);

 private:
  QString name_;
  QLocalServer* server_ = nullptr;
};

// Runs the window until the program ends; the process's exit status.
// True when there is a display the window can open on (Qt aborts without).
bool DisplayAvailable();

int RunWindowProgram(int argc, char** argv);

}  // namespace kamvo::ui
