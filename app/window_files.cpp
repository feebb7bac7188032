// The window's opens and saves: photos, saved pictures and projects by what they hold, drops,
// the save dialogs with their proposed names, and the question before paint is lost.
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "app/Overlay.h"
#include "app/preferences.h"
#include "core/write_file.h"

using namespace vantrel;

namespace {

// The files each save's dialog lists first; the extension is the session's rule.
constexpr const char* kProjectFilter = "Vantrel projects (*.vantrel)";

const char* FilterOf(OutputKind kind) {
  switch (kind) {
    case OutputKind::Executable:
      return "C64 programs (*.prg)";
    case OutputKind::DiskImage:
      return "C64 disk images (*.d64)";
    case OutputKind::Png:
      return "PNG pictures (*.png)";
    case OutputKind::AssemblerSource:
      return "Assembler sources (*.asm)";
    case OutputKind::Data:
      break;
  }
  return "C64 data files (*.bin)";
}

QString Extension(std::string_view extension) {
  return QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
}

}  // namespace

void TForm1::RememberOpenFolder(const QString& fileName) {
  openFolder_ = QFileInfo(fileName).absolutePath();
  preferences::OpenFolder.Write(openFolder_);
}

// Projects and saved pictures open as what they are; a photo is left to the caller, which
// converts it. Returns whether the file was opened here.
bool TForm1::OpenByKind(const QString& fileName) {
  const std::string name = QFile::encodeName(fileName).toStdString();
  // The session tells by content, and a file named as a project is read as one, so a damaged
  // project says what is wrong with it.
  if (Session::KindOfFile(name) == FileKind::Project) {
    OpenProjectFile(fileName);
    return true;
  }
  const FileKind kind = OpenPictureFile(fileName);
  // Another picture is shown: no project holds it yet.
  projectFile_.clear();
  projectSnapshot_.reset();
  if (kind != FileKind::SavedPicture) return false;
  ShowSavedPicture();
  AfterOpen();
  return true;
}

void TForm1::OpenProject1Click() {
  QString fileName = QStringLiteral("*.vantrel");
  if (!dialogs_.ExecuteOpen(this, fileName, openFolder_) || !MaySetWorkAside()) return;
  RememberOpenFolder(fileName);
  OpenProjectFile(fileName);
}

// The session remade the project's conversion; the controls are set to match without
// converting again. A project that cannot be opened changes nothing.
void TForm1::OpenProjectFile(const QString& fileName) {
  const Project project =
      session_.OpenProject(QFile::encodeName(fileName).toStdString(), Progress());
  SetProgress(0);
  session_.MarkPictureLoaded();
  NoteConversion(project.settings.roles, project.settings.cells,
                 project.settings.adjustment.dithering);
  for (QWidget* control : PictureControls()) control->setEnabled(true);
  openedFile_ = QFile::decodeName(QByteArray::fromStdString(session_.PictureName()));
  SetScaleSetting(project.settings.scale);
  ShowScale();
  SetCropQuietly(project.settings.crop);
  const Adjustment& adjustment = project.settings.adjustment;
  SetOffsetsQuietly(adjustment.red, adjustment.green, adjustment.blue);
  SetDithering(project.dithering);
  ShowColourModel();  // the project's palette and mix, which the session took
  SetMachine(project.machine);
  RedrawSourceView();
  RedrawPreview();
  AfterOpen();
  projectFile_ = fileName;
  projectSnapshot_ = TakeSnapshot();
}

// A saved picture shows its conversion as it was read: the roles and the target it was saved
// with, the crop at its corner, the offsets applied to the source view but nothing converted.
void TForm1::ShowSavedPicture() {
  SetCropQuietly({});
  session_.ReadSourceWindow(0, 0);
  const Adjustment adjustment = CurrentAdjustment();
  session_.ApplyChannelOffsets(adjustment.red, adjustment.green, adjustment.blue, Progress());
  SetProgress(0);
  RedrawSourceView();
  ShowRoles();
  NoteConversion(session_.Roles(), session_.CellTable(), adjustment.dithering);
  SetMachine(session_.SavedMachine());
  PackExecutable1->setChecked(session_.SavedPacked());  // saved again as it was
  RedrawPreview();
}

// A new picture starts a new history.
void TForm1::AfterOpen() {
  history_.Reset(TakeSnapshot());
  UpdateUndoActions();
}

// A picture that opened but is not whole (a JPEG cut short) is shown as it came, and the user
// is told once the open is done.
void TForm1::ShowPictureWarning() {
  const std::string warning = session_.PictureWarning();
  if (!warning.empty()) {
    dialogs_.ShowWarning(this, ApplicationTitle(), WithFullStop(QString::fromLocal8Bit(warning)));
  }
}

// What confirming the open dialog does, and dropping a file on the window. A saved picture
// opens as it was read, with the scroll bars set quietly: nothing converts it.
FileKind TForm1::OpenPictureFile(const QString& fileName) {
  // Confirming the dialog is what enters the picture-loaded state, so the flag and the
  // controls come before the decode: they stay so when the file then fails to open.
  session_.MarkPictureLoaded();
  for (QWidget* control : PictureControls()) control->setEnabled(true);
  const FileKind kind = session_.OpenFile(QFile::encodeName(fileName).toStdString(), scaleSetting_);
  openedFile_ = fileName;
  ShowScale();
  if (kind == FileKind::SavedPicture) return kind;
  session_.ReadSourceWindow(0, 0);
  RedrawSourceView();
  // Setting a position that was not 0 runs that bar's crop move at once, nested in the
  // open; the end state is the window at (0, 0) either way.
  ScrollBar1->SetPosition(0);
  ScrollBar2->SetPosition(0);
  ScrollBar1->SetMin(session_.AllowedCrops().MinDrawX());
  ScrollBar2->SetMin(session_.AllowedCrops().MinDrawY());
  return kind;
}

namespace {

// A drop is taken as a copy (or a link), never as a move: a file manager told "moved" may
// delete its own copy of the photo. Returns false for a drop we do not take.
bool AcceptAsCopy(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return false;
  const Qt::DropActions possible = event->possibleActions();
  if (possible & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
  } else if (possible & Qt::LinkAction) {
    event->setDropAction(Qt::LinkAction);
  } else {
    return false;
  }
  event->accept();
  return true;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) { AcceptAsCopy(event); }
void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (!AcceptAsCopy(event)) event->ignore();
}

// A picture dropped on the window opens as if chosen in the open dialog.
void TForm1::dropEvent(QDropEvent* event) {
  if (!AcceptAsCopy(event)) {
    event->ignore();
    return;
  }
  OpenGivenFile(event->mimeData()->urls().front().toLocalFile());
}

void TForm1::OpenGivenFile(const QString& fileName) {
  Guard([&] {
    if (!MaySetWorkAside() || OpenByKind(fileName)) return;
    Reconvert();
    ShowPictureWarning();
    AfterOpen();
  });
}

// The photo's name with the extension, in the folder of the last save, else the photo's own.
QString TForm1::ProposedSaveName(const QString& extension) const {
  // A project goes where it came from.
  if (extension == Extension(ProjectExtension) && !projectFile_.isEmpty()) {
    return projectFile_;
  }
  const QFileInfo photo(openedFile_);
  const QString base = openedFile_.isEmpty() ? QStringLiteral("picture") : photo.completeBaseName();
  const QString folder = !saveFolder_.isEmpty()   ? saveFolder_
                         : !openedFile_.isEmpty() ? photo.absolutePath()
                                                  : QDir::currentPath();
  return QDir(folder).filePath(base + extension);
}

// The same file as the open picture, also under another name (a link): the session's rule,
// as the command line follows it.
bool TForm1::IsOpenPicture(const QString& fileName) const {
  return session_.IsOpenPicture(QFile::encodeName(fileName).toStdString());
}

// The name the user gives is used as given, with the kind's extension added when it has none.
// An existing file is replaced only after a yes, and the open picture never.
QString TForm1::AskSaveName(const QString& extension, const QString& filter) {
  QString fileName = ProposedSaveName(extension);
  if (!dialogs_.ExecuteSave(this, fileName, filter)) return {};
  const QFileInfo typed(fileName);
  // A name that exists already (a folder, a device such as /dev/full) is meant as it is.
  if (typed.suffix().isEmpty() && !typed.fileName().isEmpty() && !typed.exists()) {
    if (fileName.endsWith(QLatin1Char('.'))) fileName.chop(1);
    fileName += extension;
  }
  const QFileInfo chosen(fileName);
  saveFolder_ = chosen.absolutePath();
  preferences::SaveFolder.Write(saveFolder_);
  if (IsOpenPicture(fileName)) {
    throw VantrelError(Message::kIsTheOpenPicture, QFile::encodeName(fileName).toStdString());
  }
  if (chosen.exists() && !chosen.isDir() && !dialogs_.AskReplace(this, fileName)) return {};
  return fileName;
}

// The file is assembled before the dialog asks for its name, from the last conversion and
// the roles of this moment.
void TForm1::Save(OutputKind kind) {
  if (!session_.PictureLoaded()) {
    if (kind != OutputKind::Executable && kind != OutputKind::Data) {
      throw VantrelError(Message::kOpenAPictureFirst);
    }
    return;
  }
  const std::span<const std::uint8_t> bytes = session_.Output(kind, CurrentOutputOptions());
  const QString fileName =
      AskSaveName(Extension(OutputExtension(kind)), QString::fromLatin1(FilterOf(kind)));
  if (fileName.isEmpty()) return;
  WriteFileReplacing(QFile::encodeName(fileName).toStdString(), bytes);
}

void TForm1::SavePreviewPNG1Click() { Save(OutputKind::Png); }

// A project of the picture file open, with the settings, the target and the edits of now.
void TForm1::SaveProject1Click() {
  if (!session_.PictureLoaded() || !session_.HasPicture()) {
    throw VantrelError(Message::kOpenAPictureFirst);
  }
  const QString fileName =
      AskSaveName(Extension(ProjectExtension), QString::fromLatin1(kProjectFilter));
  if (fileName.isEmpty()) return;
  WriteProject(fileName);
}

void TForm1::WriteProject(const QString& fileName) {
  session_.SaveProject(QFile::encodeName(fileName).toStdString(), scaleSetting_,
                       CurrentAdjustment().dithering, CurrentMachine());
  projectFile_ = fileName;
  projectSnapshot_ = TakeSnapshot();
}

// --- Work no project holds -----------------------------------------------------------------

bool TForm1::HasUnsavedWork() const {
  if (!session_.PictureLoaded()) return false;
  if (projectSnapshot_) return TakeSnapshot() != *projectSnapshot_;
  return !session_.PixelEdits().Empty();
}

// Save writes the project open (or asks where a new one goes); Discard lets the work go.
bool TForm1::MaySetWorkAside() {
  if (!HasUnsavedWork()) return true;
  switch (dialogs_.AskSaveProjectFirst(this)) {
    case SaveFirst::Discard:
      return true;
    case SaveFirst::Cancel:
      return false;
    case SaveFirst::Save:
      break;
  }
  if (projectFile_.isEmpty()) {
    if (!session_.HasPicture()) throw VantrelError(Message::kOpenAPictureFirst);
    const QString fileName =
        AskSaveName(Extension(ProjectExtension), QString::fromLatin1(kProjectFilter));
    if (fileName.isEmpty()) return false;
    WriteProject(fileName);
  } else {
    WriteProject(projectFile_);
  }
  return true;
}
