// The Qt dialogs behind the interface, and the question before replacing a file.
#include "app/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <exception>
#include <thread>

#include "core/error.h"

namespace {

bool RunFileDialog(QWidget* parent, QString& fileName, QFileDialog::AcceptMode mode,
                   const QString& folder = QString(), const QString& saveFilter = QString()) {
  QFileDialog dialog(parent);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The window asks before replacing a file itself (AskReplace), after it has made sure the
  // name is not the open picture's.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const QFileInfo preset(fileName);
  if (!fileName.isEmpty()) {
    if (preset.fileName().contains(QLatin1Char('*'))) {
      // A wildcard in the name field lists only the matching files; an open dialog offers
      // every picture the program reads as a second choice.
      dialog.setNameFilters(mode == QFileDialog::AcceptOpen ? OpenDialogFilters(preset.fileName())
                                                            : QStringList{preset.fileName()});
    } else {
      if (!saveFilter.isEmpty()) {
        dialog.setNameFilters({saveFilter, QStringLiteral("All files (*)")});
      }
      dialog.selectFile(fileName);
    }
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().first();
  return true;
}

}  // namespace

bool PlatformDialogs::ExecuteOpen(QWidget* parent, QString& fileName, const QString& folder) {
  return RunFileDialog(parent, fileName, QFileDialog::AcceptOpen, folder);
}

bool PlatformDialogs::ExecuteSave(QWidget* parent, QString& fileName, const QString& filter) {
  return RunFileDialog(parent, fileName, QFileDialog::AcceptSave, QString(), filter);
}

bool PlatformDialogs::AskReplace(QWidget* parent, const QString& fileName) {
  const QString question = QString::fromLocal8Bit(
      vantrel::Text(vantrel::Message::kReplaceQuestion, QFile::encodeName(fileName).toStdString()));
  return QMessageBox::question(parent, ApplicationTitle(), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

SaveFirst PlatformDialogs::AskSaveProjectFirst(QWidget* parent) {
  QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                  QStringLiteral("Save the project first?"),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box.setInformativeText(
      QStringLiteral("The paint and the changes since the project was last "
                     "saved are lost otherwise."));
  box.setDefaultButton(QMessageBox::Save);
  switch (box.exec()) {
    case QMessageBox::Save:
      return SaveFirst::Save;
    case QMessageBox::Discard:
      return SaveFirst::Discard;
    default:
      return SaveFirst::Cancel;
  }
}

void PlatformDialogs::ShowWarning(QWidget* parent, const QString& caption, const QString& message) {
  QMessageBox::warning(parent, caption, message, QMessageBox::Ok);
}

void PlatformDialogs::ShowError(QWidget* parent, const QString& caption, const QString& message) {
  QMessageBox::critical(parent, caption, message, QMessageBox::Ok);
}

// The error box with a "Details" button that shows (and hides again) the whole text below.
void PlatformDialogs::ShowErrorWithDetails(QWidget* parent, const QString& caption,
                                           const QString& message, const QString& details) {
  QDialog box(parent);
  box.setWindowTitle(caption);
  auto* icon = new QLabel(&box);
  const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  icon->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(side, side));
  auto* text = new QLabel(message, &box);
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* log = new QPlainTextEdit(details, &box);
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  log->setMinimumSize(560, 240);
  log->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  QPushButton* more = buttons->addButton(QStringLiteral("Details"), QDialogButtonBox::ActionRole);
  more->setCheckable(true);
  QObject::connect(more, &QPushButton::toggled, &box, [&box, log](bool shown) {
    log->setVisible(shown);
    box.adjustSize();
  });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(text, 1);
  auto* layout = new QVBoxLayout(&box);
  layout->addLayout(top);
  layout->addWidget(log, 1);
  layout->addWidget(buttons);
  box.exec();
}

void PlatformDialogs::ShowModal(QDialog& dialog) { dialog.exec(); }

void PlatformDialogs::RunWithProgress(
    QWidget* parent, const QString& label,
    const std::function<void(const vantrel::SearchControl&)>& work) {
  QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 1000, parent);
  dialog.setWindowTitle(ApplicationTitle());
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(300);  // a quick search shows nothing
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);
  std::atomic<int> permille{0};
  std::atomic<bool> cancelled{false}, done{false};
  std::exception_ptr failure;
  const vantrel::SearchControl control{[&](int value) { permille = value; },
                                       [&] { return cancelled.load(); }};
  std::thread worker([&] {
    try {
      work(control);
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
  });
  QEventLoop loop;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    if (done) {
      loop.quit();
      return;
    }
    dialog.setValue(permille);
  });
  QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] { cancelled = true; });
  timer.start(20);
  loop.exec();
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

QStringList OpenDialogFilters(const QString& preset) {
  QStringList patterns;
  for (const char* extension : {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "bmp", "tif", "tiff",
                                "webp", "heic", "heif", "avif"}) {
    patterns << QStringLiteral("*.%1").arg(QLatin1String(extension))
             << QStringLiteral("*.%1").arg(QLatin1String(extension).toString().toUpper());
  }
  QStringList filters = {preset,
                         QStringLiteral("Pictures (%1)").arg(patterns.join(QLatin1Char(' ')))};
  if (preset != QStringLiteral("*.vantrel")) {
    filters << QStringLiteral("Vantrel projects (*.vantrel)");
  }
  filters << QStringLiteral("Saved C64 pictures (*.prg *.d64 *.bin)");
  return filters;
}

QString WithFullStop(const QString& message) {
  if (message.isEmpty() || message.back() <= QLatin1Char('.')) return message;
  return message + QLatin1Char('.');
}

QString ApplicationTitle() { return QStringLiteral("Vantrel Converter"); }
