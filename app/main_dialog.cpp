#include "app/main_dialog.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QStandardPaths>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

#include "app/artwork.hpp"
#include "app/dialog_units.hpp"
#include "app/explorer.hpp"
#include "app/gui_texts.hpp"
#include "app/look.hpp"
#include "common/paths.hpp"
#include "export/save_run.hpp"
#include "pipeline/texts.hpp"

namespace edbx::gui {

namespace fs = std::filesystem;

namespace {

QString Q(u16v text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }
u16 U(const QString& text) { return text.toStdU16String(); }
QString PathText(const fs::path& p) { return QString::fromStdString(p.string()); }

/// The client area: the dialog's background colour behind every control.
class ClientArea : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
  }
};

/// Ids of the controls entered in the layout.
enum : int {
  kIdExit = 2,
  kIdSave = 1003,
  kIdProgress = 1005,
  kIdPath = 1006,
  kIdBrowse = 1007,
  kIdStatic = 1034,
  kIdRightBanner = 1042,
  kIdStop = 1043,
  kIdGrip = 0x7fff,
};

/// Where the page with the program's help is: installed under share/, or beside the
/// program in the build tree.
QString HelpPagePath() {
  const fs::path program = ProgramFolder();
  for (const fs::path& candidate : {program / ".." / "share" / "edbexport" / texts::kHelpFileName,
                                    program / texts::kHelpFileName}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return PathText(fs::weakly_canonical(candidate, ec));
  }
  return PathText(program / texts::kHelpFileName);
}

/// Removes the regular files and links directly inside the working folder (never what
/// a link points to, never sub-folders); a folder that is a link is left alone.
void ClearWorkingFolder(const fs::path& folder) {
  std::error_code ec;
  if (folder.empty() || fs::is_symlink(folder, ec) || !fs::is_directory(folder, ec)) return;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const auto status = entry.symlink_status(ec);
    if (fs::is_regular_file(status) || fs::is_symlink(status)) fs::remove(entry.path(), ec);
  }
}

}  // namespace

// ---------------------------------------------------------------- dialog operations

void WidgetDialogOps::SetStatusText(u16v text) {
  // Only the newest text matters when a worker writes faster than the screen shows.
  std::lock_guard lock(status_mutex_);
  status_text_ = Q(text);
  if (status_posted_) return;
  status_posted_ = true;
  bridge_.Post([this] {
    QString t;
    {
      std::lock_guard l(status_mutex_);
      t = status_text_;
      status_posted_ = false;
    }
    dlg_.status_parts_[3]->setText(t);
  });
}

void WidgetDialogOps::SetProgressRange(int low, int high) {
  bridge_.Post([this, low, high] { dlg_.status_progress_->setRange(low, std::max(low, high)); });
}

void WidgetDialogOps::SetProgressPos(int pos) {
  progress_pos_ = pos;
  if (progress_posted_.exchange(true)) return;
  bridge_.Post([this] {
    progress_posted_ = false;
    dlg_.status_progress_->setValue(progress_pos_.load());
  });
}

TreeItem WidgetDialogOps::InsertTreeItem(u16v name, TreeItem parent, int icon) {
  const QString text = Q(name);
  return bridge_.Call<TreeItem>(
      [this, text, parent, icon] {
        return static_cast<TreeItem>(dlg_.tree_->InsertItem(text, parent == kTreeRoot ? 0 : parent, icon));
      },
      kNoTreeItem);
}

void WidgetDialogOps::ExpandTreeItem(TreeItem item) {
  bridge_.Post([this, item] {
    if (QTreeWidgetItem* i = dlg_.tree_->ItemOf(item)) i->setExpanded(true);
  });
}

void WidgetDialogOps::EnableControl(Control control, bool enabled) {
  bridge_.Post([this, control, enabled] {
    dlg_.pipeline_enabled_[control] = enabled;
    dlg_.ApplyEnabled();
  });
}

void WidgetDialogOps::QueueList(ListCommand command) {
  std::lock_guard lock(list_mutex_);
  const bool post = list_queue_.empty();
  list_queue_.push_back(std::move(command));
  if (post) bridge_.Post([this] { FlushList(); });
}

void WidgetDialogOps::FlushList() {
  // A bounded batch per turn of the event loop keeps the window responsive while a
  // large folder streams in; the rest follows in the next turn, in order.
  constexpr std::size_t kBatch = 2000;
  std::vector<ListCommand> commands;
  bool more = false;
  {
    std::lock_guard lock(list_mutex_);
    const std::size_t n = std::min(kBatch, list_queue_.size());
    commands.assign(std::make_move_iterator(list_queue_.begin()), std::make_move_iterator(list_queue_.begin() + n));
    list_queue_.erase(list_queue_.begin(), list_queue_.begin() + n);
    more = !list_queue_.empty();
  }
  // The rest after the window had its turn (timers, painting, input).
  if (more) QTimer::singleShot(0, &dlg_, [this] {
      if (!bridge_.shut_down()) FlushList();
    });
  std::vector<std::pair<int, ItemListModel::Row>> rows;
  bool focus = false;
  auto flush_rows = [&] {
    if (!rows.empty()) dlg_.model_->Insert(std::move(rows));
    rows.clear();
  };
  for (auto& c : commands) {
    switch (c.kind) {
      case ListCommand::kRow: rows.emplace_back(c.position, std::move(c.row)); break;
      case ListCommand::kClear:
        flush_rows();
        dlg_.model_->Clear();
        break;
      case ListCommand::kFocus: focus = true; break;
    }
  }
  flush_rows();
  if (focus && !dlg_.list_->hasFocus()) dlg_.list_->setFocus();
}

void WidgetDialogOps::FlushListAll() {
  for (;;) {
    {
      std::lock_guard lock(list_mutex_);
      if (list_queue_.empty()) return;
    }
    FlushList();
  }
}

void WidgetDialogOps::ClearItemList() { QueueList({ListCommand::kClear}); }

void WidgetDialogOps::InsertItemRow(int position, const ItemRow& row) {
  ListCommand c{ListCommand::kRow, position};
  for (std::size_t i = 0; i < row.size(); ++i) c.row[i] = Q(row[i]);
  QueueList(std::move(c));
}

void WidgetDialogOps::FocusItemList() { QueueList({ListCommand::kFocus}); }

int WidgetDialogOps::MessageBox(u16v text, u16v caption, unsigned style) {
  const QString t = Q(text), c = Q(caption);
  return bridge_.Call<int>([this, t, c, style] { return dlg_.ShowMessageBox(t, c, style); },
                           (style & kBoxYesNo) != 0 ? kAnswerNo : kAnswerOk);
}

void WidgetDialogOps::Navigate(const fs::path& page) {
  bridge_.Post([this, page] { dlg_.NavigateNow(page); });
}

u16 WidgetDialogOps::StopButtonCaption() {
  return bridge_.Call<u16>([this] { return U(dlg_.stop_->text()); }, u16());
}

void WidgetDialogOps::SetStopButtonCaption(u16v caption) {
  const QString c = Q(caption);
  bridge_.Post([this, c] { dlg_.stop_->setText(c); });
}

void WidgetDialogOps::ReportDiagnostic(u16v) {
  // The desktop program shows the status texts and message boxes only.
}

// ---------------------------------------------------------------- the dialog

CEDBExportDlg::CEDBExportDlg(StartOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), bridge_(this) {
  setObjectName(QStringLiteral("CEDBExportDlg"));
  ops_ = std::make_unique<WidgetDialogOps>(*this, bridge_);
  session_ = std::make_unique<Session>(*ops_);
  control_ = std::make_unique<RunControl>(*session_);
  choosers_ = browsefile::SystemChoosers();
  terminate_ = [] { std::_Exit(0); };
  help_opener_ = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
  export_chooser_ = [](QWidget* owner) -> std::optional<ExportChoice> {
    ExportOptionsDlg dlg(owner);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.choice();
  };
  save_folder_chooser_ = [](QWidget* owner) {
    return QFileDialog::getExistingDirectory(owner, QString::fromLatin1(texts::kSaveFolderTitle),
                                             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
  };
  selection_.working_folder = DefaultWorkingFolder();

  setWindowTitle(QString::fromLatin1(texts::kWindowTitle));
  setWindowIcon(AppIcon());
  setFont(DialogFont());
  BuildControls();  // 1. the controls
  BuildMenus();
  // The window starts at the template's size; the layout then follows every change.
  client_->resize(DluX(638), DluY(408));
  resize(DluX(638), DluY(408) + menuBar()->sizeHint().height());
  StartLayout();  // 3.
  // 5 and 6: the list's columns and the tree's icons are set up by the controls themselves.
  // 7. Paths: status pages go to the private base, which stands in for the start-up directory.
  session_->program_folder = ProgramFolder();
  BuildStatusBar();  // 8. and 9.
  ApplyEnabled();

  auto* watch = new QTimer(this);
  watch->setInterval(50);
  connect(watch, &QTimer::timeout, this, &CEDBExportDlg::WatchJobs);
  watch->start();
}

CEDBExportDlg::~CEDBExportDlg() {
  // Workers waiting on the interface go on; the running job stops at its next record.
  bridge_.Shutdown();
  session_->job.Cancel();
  control_.reset();
}

void CEDBExportDlg::BuildControls() {
  client_ = new ClientArea(this);
  client_->installEventFilter(this);
  setCentralWidget(client_);
  auto place = [](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(DluX(x), DluY(y), DluX(width), DluY(height));
  };
  auto* top_banner = new QLabel(client_);
  place(top_banner, 0, 0, 487, 57);
  top_banner->setPixmap(QPixmap::fromImage(DrawBanner(DluX(487), DluY(57), false)));
  right_banner_ = new QLabel(client_);
  place(right_banner_, 470, 0, 168, 57);
  top_banner->lower();

  exit_ = new QPushButton(QString::fromLatin1(texts::kExit), client_);
  place(exit_, 582, 60, 52, 20);
  tree_ = new CFolderTreeCtrl1(client_);
  place(tree_, 3, 83, 146, 309);
  model_ = new ItemListModel(this);
  list_ = new ItemListView(model_, client_);
  place(list_, 151, 83, 483, 124);
  browser_ = new CExplorer1(client_);
  place(browser_, 151, 209, 483, 183);
  save_ = new QPushButton(QString::fromLatin1(texts::kSaveMailbox), client_);
  place(save_, 429, 60, 86, 20);
  path_field_ = new QLineEdit(client_);
  place(path_field_, 90, 62, 265, 17);
  path_field_->setReadOnly(true);
  path_field_->setObjectName(QStringLiteral("databasePath"));
  browse_ = new QPushButton(QString::fromLatin1(texts::kBrowse), client_);
  place(browse_, 359, 60, 66, 20);
  progress_1005_ = new QProgressBar(client_);
  place(progress_1005_, 4, 383, 36, 16);
  progress_1005_->hide();
  transparent_static_ = new QLabel(client_);
  place(transparent_static_, 0, 375, 8, 8);
  auto* label = new QLabel(QString::fromLatin1(texts::kSelectEdbLabel), client_);
  place(label, 5, 65, 85, 11);
  stop_ = new QPushButton(QString::fromLatin1(texts::kStop), client_);
  place(stop_, 518, 60, 62, 20);
  auto* mailbox_label = new QLabel(QString::fromLatin1(texts::kMailboxListLabel), client_);
  place(mailbox_label, 6, 69, 49, 8);
  mailbox_label->hide();
  QPalette black = client_->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  for (QLabel* l : {label, mailbox_label, transparent_static_}) l->setPalette(black);
  exit_->setObjectName(QStringLiteral("exitButton"));
  save_->setObjectName(QStringLiteral("saveButton"));
  browse_->setObjectName(QStringLiteral("browseButton"));
  stop_->setObjectName(QStringLiteral("stopButton"));

  connect(exit_, &QPushButton::clicked, this, &CEDBExportDlg::ConfirmClose);
  connect(browse_, &QPushButton::clicked, this, &CEDBExportDlg::OnBrowse);
  connect(save_, &QPushButton::clicked, this, &CEDBExportDlg::OnSaveMailbox);
  connect(stop_, &QPushButton::clicked, this, &CEDBExportDlg::OnStop);
  connect(tree_, &CFolderTreeCtrl1::FolderSelected, this, &CEDBExportDlg::OnFolderSelected);
  connect(list_, &ItemListView::Clicked, this, &CEDBExportDlg::OnItemClicked);
}

void CEDBExportDlg::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QString::fromLatin1(texts::kMenuFile));
  open_action_ = file->addAction(QString::fromLatin1(texts::kMenuOpen), this, &CEDBExportDlg::OnOpen);
  save_action_ = file->addAction(QString::fromLatin1(texts::kMenuSave), this, &CEDBExportDlg::OnSaveMailbox);
  file->addAction(QString::fromLatin1(texts::kMenuExit), this, &CEDBExportDlg::ConfirmClose);
  QMenu* help = menuBar()->addMenu(QString::fromLatin1(texts::kMenuHelp));
  help->addAction(QString::fromLatin1(texts::kMenuAbout), this, &CEDBExportDlg::ShowAbout);
  help->addAction(QString::fromLatin1(texts::kMenuHelpTopic), this, &CEDBExportDlg::OnHelp);
}

void CEDBExportDlg::BuildStatusBar() {
  status_bar_ = new QWidget(client_);
  status_bar_->setObjectName(QStringLiteral("statusBar"));
  status_bar_->setAutoFillBackground(true);
  for (std::size_t i = 0; i < status_parts_.size(); ++i) {
    status_parts_[i] = new QLabel(status_bar_);
    status_parts_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_parts_[i]->setIndent(4);
  }
  status_progress_ = new QProgressBar(status_parts_[0]);
  status_progress_->setTextVisible(false);
  status_progress_->setRange(0, 100);
  status_progress_->setValue(0);
  status_parts_[1]->setText(QString::fromLatin1(texts::kMakerName));
  status_parts_[2]->setText(QString::fromLatin1(texts::kMakerAddress));
  status_bar_ready_ = true;
  status_parts_[3]->setText(QString::fromLatin1(texts::kStatusReady));
  OnClientResized();
}

void CEDBExportDlg::StartLayout() {
  using namespace anchor;
  const std::pair<QWidget*, std::pair<int, unsigned>> entries[] = {
      {list_, {1001, kStretchX | kFixedY}},          {tree_, {1000, kFixedX | kStretchY}},
      {right_banner_, {kIdRightBanner, kStretchX | kFixedY}}, {browse_, {kIdBrowse, kRightX | kFixedY}},
      {path_field_, {kIdPath, kStretchX | kFixedY}}, {progress_1005_, {kIdProgress, kStretchX | kBottomY}},
      {transparent_static_, {kIdStatic, kStretchX | kBottomY}}, {save_, {kIdSave, kRightX | kFixedY}},
      {stop_, {kIdStop, kRightX | kFixedY}},         {exit_, {kIdExit, kRightX | kFixedY}},
  };
  std::map<int, QWidget*> by_id;
  for (const auto& [widget, entry] : entries) {
    layout_.Add(entry.first, entry.second);
    by_id[entry.first] = widget;
  }
  const QSize size = client_->size();
  layout_.Start(IntRect{0, 0, size.width(), size.height()}, [&](int id, IntRect& r) {
    const auto it = by_id.find(id);
    if (it == by_id.end()) return false;
    const QRect g = it->second->geometry();
    r = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    return true;
  });
  grip_ = new QSizeGrip(client_);
  const QSize grip = grip_->sizeHint();
  grip_->setGeometry(size.width() - grip.width(), size.height() - grip.height(), grip.width(), grip.height());
  grip_->raise();
  layout_.AddPlaced(kIdGrip, kRightX | kBottomY,
                    {grip_->x(), grip_->y(), grip_->x() + grip_->width(), grip_->y() + grip_->height()});
  layout_started_ = true;
}

bool CEDBExportDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) OnClientResized();
  return QMainWindow::eventFilter(watched, event);
}

void CEDBExportDlg::OnClientResized() {
  const int w = client_->width(), h = client_->height();
  // The preview pane is placed by the dialog itself; a small window gives it no room.
  if (browser_ != nullptr) browser_->setGeometry(226, 339, std::max(0, w - 229), std::max(0, h - 365));
  if (layout_started_) {
    grip_->setVisible(DialogLayout::GripVisible(isMaximized()));
    const auto moves = layout_.Apply(IntRect{0, 0, w, h});
    std::map<int, QWidget*> by_id = {{1001, list_},          {1000, tree_},   {kIdRightBanner, right_banner_},
                                     {kIdBrowse, browse_},   {kIdPath, path_field_},
                                     {kIdProgress, progress_1005_}, {kIdStatic, transparent_static_},
                                     {kIdSave, save_},       {kIdStop, stop_}, {kIdExit, exit_},
                                     {kIdGrip, grip_}};
    for (const auto& m : moves)
      if (QWidget* widget = by_id[m.id]) widget->setGeometry(m.x, m.y, std::max(0, m.width), std::max(0, m.height));
  }
  if (right_banner_ != nullptr && right_banner_->pixmap().size() != right_banner_->size())
    right_banner_->setPixmap(QPixmap::fromImage(DrawBanner(right_banner_->width(), right_banner_->height(), true)));
  if (status_bar_ready_) {
    // Docked at the bottom: parts end at 300, 610 and 800 pixels, the last one runs to the edge.
    const int sh = status_parts_[0]->fontMetrics().height() + 10;
    status_bar_->setGeometry(0, h - sh, w, sh);
    const int edges[] = {0, 300, 610, 800, std::max(800, w)};
    for (std::size_t i = 0; i < status_parts_.size(); ++i)
      status_parts_[i]->setGeometry(edges[i], 0, std::max(0, edges[i + 1] - edges[i] - 2), sh);
    status_progress_->setGeometry(status_parts_[0]->contentsRect().adjusted(1, 2, -1, -2));
    status_bar_->raise();
    grip_->raise();
  }
}

QPushButton* CEDBExportDlg::button(Control c) const {
  switch (c) {
    case Control::kBrowseButton: return browse_;
    case Control::kSaveButton: return save_;
    case Control::kStopButton: return stop_;
    default: return nullptr;
  }
}

QAction* CEDBExportDlg::action(Control c) const {
  if (c == Control::kOpenMenu) return open_action_;
  if (c == Control::kSaveMenu) return save_action_;
  return nullptr;
}

QString CEDBExportDlg::status_text(int part) const {
  return part >= 0 && part < 4 ? status_parts_[static_cast<std::size_t>(part)]->text() : QString();
}

void CEDBExportDlg::ApplyEnabled() {
  auto pipeline = [this](Control c) {
    const auto it = pipeline_enabled_.find(c);
    return it == pipeline_enabled_.end() || it->second;
  };
  // While any job runs, nothing that would start a competing one is enabled.
  const bool idle = !ui_job_running_;
  browse_->setEnabled(pipeline(Control::kBrowseButton) && idle);
  open_action_->setEnabled(pipeline(Control::kOpenMenu) && idle);
  save_->setEnabled(pipeline(Control::kSaveButton) && idle);
  save_action_->setEnabled(pipeline(Control::kSaveMenu) && idle);
  tree_->setEnabled(pipeline(Control::kFolderTree));
  list_->setEnabled(pipeline(Control::kItemList));
}

void CEDBExportDlg::JobStarted() {
  ui_job_running_ = true;
  ApplyEnabled();
}

void CEDBExportDlg::WatchJobs() {
  const bool busy = control_->Busy();
  if (busy && !ui_job_running_) JobStarted();  // a job started elsewhere locks the commands too
  if (ui_job_running_ && !busy) {
    ui_job_running_ = false;
    ApplyEnabled();
  }
  if (stage_ != ScriptStage::kNone && stage_ != ScriptStage::kDone) ScriptStep();
}

int CEDBExportDlg::ShowMessageBox(const QString& text, const QString& caption, unsigned style) {
  if (message_box_hook_) return message_box_hook_(text, caption, style);
  const bool question = (style & kBoxYesNo) != 0;
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, caption, text,
                  question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, this);
  box.setWindowModality(Qt::ApplicationModal);
  const int answer = box.exec();
  if (!question) return kAnswerOk;
  return answer == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
}

void CEDBExportDlg::NavigateNow(const fs::path& page) {
  ++navigations_;
  browser_->Navigate(page);
}

void CEDBExportDlg::Start() {
  if (!options_.database.empty()) {
    fs::path base = options_.work;
    if (base.empty()) {
      const auto priv = PrivateWorkBase();
      if (priv) base = *priv;
    }
    if (!OpenDatabase(options_.database, base)) {
      std::fprintf(stderr, "edbexport-gui: cannot open %s\n", options_.database.c_str());
      FinishScript(2);
      return;
    }
    if (options_.quit || !options_.screenshot.isEmpty() || !options_.folder.isEmpty()) stage_ = ScriptStage::kAnalysing;
    return;
  }
  SelectAndStart(true);  // 10.
}

bool CEDBExportDlg::OpenDatabase(const fs::path& database, const fs::path& work_base) {
  std::error_code ec;
  if (!fs::is_regular_file(database, ec) || control_->Busy()) return false;
  selection_.database_path = fs::absolute(database, ec);
  if (!work_base.empty()) selection_.working_folder = fs::absolute(work_base, ec) / texts::kWorkingSubfolder;
  selection_.confirmed = true;
  tree_->ClearAll();
  model_->Clear();
  BeginAnalysis(true);
  return true;
}

void CEDBExportDlg::OnBrowse() { SelectAndStart(true); }
void CEDBExportDlg::OnOpen() { SelectAndStart(false); }

void CEDBExportDlg::SelectAndStart(bool start_page) {
  if (control_->Busy()) return;
  browsefile dlg(selection_, choosers_, this);
  dlg.exec();
  if (!selection_.confirmed || dlg.result() != QDialog::Accepted) return;  // nothing changes
  tree_->ClearAll();
  model_->Clear();
  BeginAnalysis(start_page);
}

void CEDBExportDlg::BeginAnalysis(bool start_page) {
  Session& s = *session_;
  s.database_path = selection_.database_path;
  s.working_folder = selection_.working_folder;
  // Status pages and the current page live beside the working folder, in a folder of this user.
  s.startup_directory = s.working_folder.parent_path();
  {
    std::lock_guard lock(s.page_mutex);
    s.current_page_path = s.startup_directory / "temp.html";
  }
  if (start_page) {
    std::error_code ec;
    fs::create_directories(s.startup_directory, ec);
    // UTF-16LE behind a byte-order mark: without the mark the web engine takes the
    // code units for single bytes and shows the markup with a stray character after each.
    WriteWholeFile(s.current_page_path, "\xFF\xFE" + utf16le_bytes(texts::kStartPage));
    NavigateNow(s.current_page_path);
  }
  path_field_->setText(PathText(s.database_path));
  // The old run's working files go before the new analysis writes its own.
  ClearWorkingFolder(s.working_folder);
  JobStarted();
  if (!control_->StartAnalysis()) {
    ui_job_running_ = false;
    ApplyEnabled();
  }
}

void CEDBExportDlg::OnFolderSelected(CFolderTreeCtrl1::Handle handle) {
  if (control_->Busy() && control_->CurrentJob() != RunControl::Job::kListing) return;
  JobStarted();
  control_->OnFolderSelected(handle);
}

void CEDBExportDlg::OnItemClicked() {
  const int mark = list_->SelectionMark();
  if (mark < 0 || control_->Busy()) return;
  const auto& r = model_->RowAt(mark);
  ItemRow row;
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = U(r[i]);
  JobStarted();
  if (!control_->OnItemClicked(row)) WatchJobs();
}

void CEDBExportDlg::OnStop() { control_->ToggleStopResume(); }

void CEDBExportDlg::OnHelp() { help_opener_(HelpPagePath()); }

void CEDBExportDlg::ShowAbout() {
  CAboutDlg about([this] { ConfirmClose(); }, this);
  about.exec();
}

void CEDBExportDlg::ConfirmClose() {
  if (ShowMessageBox(QString::fromLatin1(texts::kCloseQuestion), QString::fromLatin1(texts::kCloseCaption),
                     kBoxYesNo | kBoxIconQuestion | kBoxSystemModal) != kAnswerYes)
    return;
  terminate_();
}

void CEDBExportDlg::closeEvent(QCloseEvent* event) {
  event->ignore();  // the dialog ends only through the close question
  ConfirmClose();
}

void CEDBExportDlg::OnSaveMailbox() {
  if (control_->Busy() || session_->outcome == AnalysisOutcome::kNone) return;
  const auto choice = export_chooser_(this);
  if (!choice) return;
  const QString folder = save_folder_chooser_(this);
  if (folder.isEmpty()) return;
  RunSave(*choice, fs::path(folder.toStdString()));
}

void CEDBExportDlg::RunSave(ExportChoice choice, const fs::path& output_root) {
  SaveRequest request;
  switch (choice) {
    case ExportChoice::kMail: request.kinds = {SaveKind::kMail}; break;
    case ExportChoice::kContacts: request.kinds = {SaveKind::kContact}; break;
    case ExportChoice::kCalendar: request.kinds = {SaveKind::kCalendar}; break;
    case ExportChoice::kAll: request.kinds = {SaveKind::kAll}; break;
  }
  // The checked folders; with none checked, every folder.
  for (CFolderTreeCtrl1::Handle h : tree_->CheckedItems()) request.folders.push_back(static_cast<TreeItem>(h));
  request.output_root = output_root;
  // Nothing that reads the lists or starts a job stays enabled while the run goes on.
  DialogOps& d = *ops_;
  for (Control c : {Control::kBrowseButton, Control::kSaveButton, Control::kOpenMenu, Control::kSaveMenu,
                    Control::kFolderTree, Control::kItemList})
    d.EnableControl(c, false);
  d.SetStopButtonCaption(::edbx::texts::kStopCaptionStop);
  JobStarted();
  const bool started = control_->StartJob(RunControl::Job::kSave, [this, request] {
    Session& s = *session_;
    const SaveTotals totals = RunSaveJob(s, request);
    DialogOps& ops = *s.dialog;
    for (Control c : {Control::kFolderTree, Control::kItemList, Control::kBrowseButton, Control::kSaveButton,
                      Control::kOpenMenu, Control::kSaveMenu})
      ops.EnableControl(c, true);
    u16 message = SaveSummaryText(totals);
    for (const std::string& problem : totals.problems) message += u"\n" + utf8_to_utf16(problem);
    ops.MessageBox(message, utf8_to_utf16(texts::kProductName), kBoxIconInformation | kBoxSystemModal);
  });
  if (!started) {
    for (Control c : {Control::kFolderTree, Control::kItemList, Control::kBrowseButton, Control::kSaveButton,
                      Control::kOpenMenu, Control::kSaveMenu})
      d.EnableControl(c, true);
  }
}

// ---------------------------------------------------------------- scripted runs

QTreeWidgetItem* CEDBExportDlg::FindFolder(const QString& path) const {
  const QStringList names = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (int r = 0; r < tree_->topLevelItemCount(); ++r) {
    QTreeWidgetItem* at = tree_->topLevelItem(r);
    for (const QString& name : names) {
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; at != nullptr && i < at->childCount() && next == nullptr; ++i)
        if (at->child(i)->text(0) == name) next = at->child(i);
      at = next;
    }
    if (at != nullptr && !names.isEmpty()) return at;
  }
  return nullptr;
}

void CEDBExportDlg::ScriptStep() {
  switch (stage_) {
    case ScriptStage::kAnalysing: {
      if (control_->Busy() || session_->outcome == AnalysisOutcome::kNone) return;
      if (options_.folder.isEmpty()) {
        stage_ = ScriptStage::kSettling;
        stage_navigations_ = navigations_;
        return;
      }
      QTreeWidgetItem* folder = FindFolder(options_.folder);
      if (folder == nullptr) {
        std::fprintf(stderr, "edbexport-gui: no folder '%s' in the tree\n", options_.folder.toUtf8().constData());
        FinishScript(2);
        return;
      }
      tree_->scrollToItem(folder);
      stage_ = ScriptStage::kListing;
      tree_->setCurrentItem(folder);
      return;
    }
    case ScriptStage::kListing: {
      if (control_->Busy()) return;
      FlushPending();
      if (options_.item.isEmpty()) {
        stage_ = ScriptStage::kSettling;
        stage_navigations_ = navigations_;
        return;
      }
      const int row = model_->Find(options_.item);
      if (row < 0) {
        std::fprintf(stderr, "edbexport-gui: no item '%s' in folder '%s'\n", options_.item.toUtf8().constData(),
                     options_.folder.toUtf8().constData());
        FinishScript(2);
        return;
      }
      list_->selectRow(row);
      list_->scrollTo(model_->index(row, 4));
      stage_navigations_ = navigations_;
      stage_ = ScriptStage::kPreviewing;
      OnItemClicked();
      return;
    }
    case ScriptStage::kPreviewing:
      // The preview has asked for its page and the pane has finished loading it.
      if (control_->Busy() || navigations_ == stage_navigations_ || !browser_->loaded()) return;
      stage_ = ScriptStage::kSettling;
      stage_navigations_ = navigations_;
      return;
    case ScriptStage::kSettling: {
      if (!browser_->loaded()) return;
      // Give the pane a moment to paint what it loaded.
      stage_ = ScriptStage::kDone;
      QTimer::singleShot(700, this, [this] {
        int status = session_->outcome == AnalysisOutcome::kSuccess ? 0 : 1;
        if (!options_.screenshot.isEmpty() && !grab().save(options_.screenshot, "PNG")) {
          std::fprintf(stderr, "edbexport-gui: cannot write %s\n", options_.screenshot.toUtf8().constData());
          status = 1;
        }
        FinishScript(status);
      });
      return;
    }
    case ScriptStage::kNone:
    case ScriptStage::kDone: return;
  }
}

void CEDBExportDlg::FinishScript(int status) {
  stage_ = ScriptStage::kDone;
  script_status_ = status;
  emit ScriptDone(status);
}

}  // namespace edbx::gui
