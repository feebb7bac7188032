// "Run in VICE": the executable handed to the C64 emulator, which runs on its own. Its first
// seconds are watched; a failure is told in a line or two (what is missing and where it goes),
// with everything the emulator printed behind the box's "Details" button.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <span>

#include "session/session.h"

class QTemporaryDir;

class EmulatorRun : public QObject {
  Q_OBJECT
 public:
  explicit EmulatorRun(QObject* parent);
  ~EmulatorRun() override;

  // Writes `program` to a folder of our own that goes when the window does, and starts
  // `emulator` (a name found on the PATH, or a path) on it with the machine's model and the
  // palette's colours, so that it shows what the preview shows. Throws
  // WindowError when the emulator is missing or cannot be started.
  void Start(const QString& emulator, std::span<const std::uint8_t> program,
             vantrel::Machine machine, vantrel::PaletteId palette);

 signals:
  // The emulator could not start, or could not start the program.
  void failed(const QString& message, const QString& details);

 private:
  void Watch(const QString& status, const QString& output);

  std::unique_ptr<QTemporaryDir> folder_;
  int runs_ = 0;
};

// What the emulator's output says went wrong, for the user: empty when it says nothing (then
// `exitCode`, if not 0, is all there is to tell).
QString EmulatorFailure(const QString& output, int exitCode);
