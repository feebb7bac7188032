// Starting VICE on a picture and telling why it did not run.
#include "app/emulator_run.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "app/dialogs.h"
#include "core/write_file.h"

namespace {

// How long an emulator that quits counts as one that could not start.
constexpr int kStartMilliseconds = 5000;

// Where VICE looks for the C64's ROM images, for the user and for every user.
const QString kUserRomFolder = QStringLiteral("~/.local/share/vice/C64");
const QString kSystemRomFolder = QStringLiteral("/usr/share/vice/C64");

// The ROM images VICE could not load, as it names them ("Couldn't load kernal ROM
// `kernal-901227-03.bin'.").
QStringList MissingRoms(const QString& output) {
  static const QRegularExpression rom(QStringLiteral("Couldn't load [^`']*ROM `([^']+)'"));
  QStringList names;
  for (auto match = rom.globalMatch(output); match.hasNext();) {
    const QString name = match.next().captured(1);
    if (!names.contains(name)) names << name;
  }
  return names;
}

// What the emulator's lines say after `prefix` ("Error - Cannot open display." gives
// "Cannot open display.").
QStringList LinesAfter(const QString& output, const QString& prefix) {
  QStringList reasons;
  for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const qsizetype at = line.indexOf(prefix);
    if (at >= 0) reasons << line.mid(at + prefix.size()).trimmed();
  }
  return reasons;
}

// What VICE reports at every start and does without: the ROMs of drives and printers that are
// not used, and a sound server that is not there.
bool IsNoise(const QString& line) {
  return line.contains(QStringLiteral("ROM image not found")) ||
         line.startsWith(QStringLiteral("Could not load")) ||
         line.contains(QStringLiteral("pa_simple_new")) || line.startsWith(QStringLiteral("glX")) ||
         line.startsWith(QStringLiteral("Turned off"));
}

// The first of the emulator's errors (or of those after `prefix`) that is not noise.
QString FirstReason(const QString& output, const QString& prefix = QStringLiteral("Error - ")) {
  for (const QString& line : LinesAfter(output, prefix)) {
    if (!IsNoise(line)) return line;
  }
  return {};
}

}  // namespace

QString EmulatorFailure(const QString& output, int exitCode) {
  const QStringList roms = MissingRoms(output);
  if (!roms.isEmpty()) {
    const bool one = roms.size() == 1;
    return QStringLiteral(
               "The C64 emulator cannot start without the C64's ROM image%1 %2, "
               "which %3 missing.\nPut %4 in %5 (or, for every user, %6) and try "
               "again.")
        .arg(one ? QString() : QStringLiteral("s"), roms.join(QStringLiteral(", ")),
             one ? QStringLiteral("is") : QStringLiteral("are"),
             one ? QStringLiteral("it") : QStringLiteral("them"), kUserRomFolder, kSystemRomFolder);
  }
  // A program VICE could not start; it goes on running, showing BASIC.
  if (output.contains(QStringLiteral("AUTOSTART: Error")) ||
      output.contains(QStringLiteral("Failed to autostart"))) {
    // Its own words about the program, else the first error that is not noise.
    QString reason = FirstReason(output, QStringLiteral("AUTOSTART: Error - "));
    if (reason.isEmpty()) reason = FirstReason(output);
    return reason.isEmpty()
               ? QStringLiteral("The C64 emulator could not start the picture.")
               : QStringLiteral("The C64 emulator could not start the picture: %1").arg(reason);
  }
  if (exitCode == 0) return {};
  const QString reason = FirstReason(output);
  if (!reason.isEmpty()) {
    return QStringLiteral("The C64 emulator stopped at once (exit status %1): %2")
        .arg(exitCode)
        .arg(reason);
  }
  return QStringLiteral("The C64 emulator stopped at once (exit status %1)").arg(exitCode);
}

EmulatorRun::EmulatorRun(QObject* parent) : QObject(parent) {}
EmulatorRun::~EmulatorRun() = default;

void EmulatorRun::Start(const QString& emulator, std::span<const std::uint8_t> program,
                        vantrel::Machine machine, vantrel::PaletteId palette) {
  const QString found = QStandardPaths::findExecutable(emulator);
  if (found.isEmpty()) {
    throw WindowError(QStringLiteral("The C64 emulator %1 is not installed. Install VICE (on "
                                     "Debian: apt install vice, from the contrib section) and "
                                     "try again")
                          .arg(emulator));
  }
  if (!folder_) folder_ = std::make_unique<QTemporaryDir>();
  if (!folder_->isValid()) {
    throw WindowError(
        QStringLiteral("Cannot create a temporary folder: %1").arg(folder_->errorString()));
  }
  const int run = ++runs_;
  const QString file = folder_->filePath(QStringLiteral("picture%1.prg").arg(run));
  const QString output = folder_->filePath(QStringLiteral("emulator%1.log").arg(run));
  const QString status = folder_->filePath(QStringLiteral("emulator%1.status").arg(run));
  vantrel::WriteFileReplacing(QFile::encodeName(file).toStdString(), program);
  // A small shell runs the emulator detached, so it outlives the window, and leaves its
  // output and exit status where Watch finds them. VICE puts the program straight into memory
  // and types RUN (-autostartprgmode 1): its usual way goes through a disk drive, whose ROM
  // Debian's VICE lacks as it lacks the C64's.
  const QStringList arguments = {
      QStringLiteral("-c"),
      QStringLiteral("out=$1 status=$2; shift 2; \"$@\" >\"$out\" 2>&1; "
                     "echo $? >\"$status.tmp\" && mv \"$status.tmp\" \"$status\""),
      QStringLiteral("sh"),
      output,
      status,
      found,
      QStringLiteral("-model"),
      QString::fromLatin1(vantrel::ViceModels(machine).front()),
      QStringLiteral("-VICIIextpal"),
      QStringLiteral("-VICIIpalette"),
      QString::fromLatin1(vantrel::PaletteOf(palette).viceFile.data(),
                          static_cast<qsizetype>(vantrel::PaletteOf(palette).viceFile.size())),
      QStringLiteral("-autostartprgmode"),
      QStringLiteral("1"),
      QStringLiteral("-autostart"),
      file};
  if (!QProcess::startDetached(QStringLiteral("/bin/sh"), arguments)) {
    throw WindowError(QStringLiteral("Cannot start the C64 emulator %1").arg(found));
  }
  Watch(status, output);
}

// An emulator that ends within its first seconds with a failure could not start; one that
// says so could not start the picture (it goes on running).
void EmulatorRun::Watch(const QString& status, const QString& output) {
  auto* timer = new QTimer(this);
  QElapsedTimer clock;
  clock.start();
  connect(timer, &QTimer::timeout, this, [this, timer, clock, status, output] {
    QFile statusFile(status);
    const bool ended = statusFile.open(QIODevice::ReadOnly);
    const bool late = clock.hasExpired(kStartMilliseconds);
    QFile log(output);
    const QString printed =
        log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
    const int exitCode = ended ? QString::fromLatin1(statusFile.readAll()).trimmed().toInt() : 0;
    const QString failure = EmulatorFailure(printed, exitCode);
    if (!ended && failure.isEmpty() && !late) return;
    timer->stop();
    timer->deleteLater();
    if (!failure.isEmpty()) emit failed(failure, printed);
  });
  timer->start(100);
}
