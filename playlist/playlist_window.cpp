#include "playlist/playlist_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QStorageInfo>
#include <QUrl>

#include "platform/file_name.h"
#include "platform/file_system.h"
#include "platform/install_layout.h"
#include "platform/text_viewer.h"
#include "platform/twips.h"
#include "playlist/folder_search.h"
#include "playlist/list_file.h"
#include "playlist/title_probe.h"

namespace carvel {

QRect PlaylistWindow::at(int left, int top, int width, int height) const {
    return twipsRect(left, top, width, height, dpi_);
}

PlaylistWindow::PlaylistWindow(Playlist& playlist, QString listFile, QString previousListFile,
                               QWidget* parent)
    : QWidget(parent),
      playlist_(playlist),
      listFile_(std::move(listFile)),
      previousListFile_(std::move(previousListFile)),
      saveFile_(listFile_),
      playlistModel_(playlist, this),
      foundModel_(found_, this) {
    dpi_ = screen() ? screen()->logicalDotsPerInch() : 96;
    setWindowTitle(QStringLiteral("演奏するBMSのﾘｽﾄ"));
    setFixedSize(twipsToPixels(6465, dpi_), twipsToPixels(4770, dpi_));

    Label1 = new QLabel(QStringLiteral("演奏するBMS"), this);
    Label1->setGeometry(at(120, 120, 1695, 255));
    lstBMS = new QListView(this);
    lstBMS->setGeometry(at(120, 360, 2415, 1680));
    lstBMS->setModel(&playlistModel_);
    playlistModel_.setReorderable(true);
    lstBMS->setDragDropMode(QAbstractItemView::InternalMove);
    lstBMS->setDefaultDropAction(Qt::MoveAction);
    setAcceptDrops(true);
    // Every change is written a moment later, so a crash loses at most that moment; the write at
    // exit stays, and says when it fails.
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(kSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, [this] {
        if (loaded_ && !saveFile_.isEmpty()) {
            writeListFile(saveFile_, playlist_.entries());
        }
    });
    const auto changed = [this] {
        if (loaded_) {
            saveTimer_.start();
        }
    };
    connect(&playlistModel_, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&playlistModel_, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&playlistModel_, &QAbstractItemModel::rowsMoved, this, changed);
    connect(&playlistModel_, &QAbstractItemModel::modelReset, this, changed);
    lstBMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstBMS->setUniformItemSizes(true);
    lstBMS->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The list behaves as lists do: a double-click or Enter plays the entry, Delete removes the
    // marked ones, and its context menu offers both and the entry's folder.
    connect(lstBMS, &QListView::activated, this, [this](const QModelIndex& index) {
        lstBMS->setCurrentIndex(index);
        cmdStart_Click();
    });
    auto* playEntry = new QAction(QStringLiteral("再生"), lstBMS);
    connect(playEntry, &QAction::triggered, this, [this] {
        if (lstBMS->currentIndex().isValid()) {
            cmdStart_Click();
        }
    });
    auto* removeEntries = new QAction(QStringLiteral("削除"), lstBMS);
    removeEntries->setShortcut(QKeySequence::Delete);
    removeEntries->setShortcutContext(Qt::WidgetShortcut);
    connect(removeEntries, &QAction::triggered, this, [this] { cmdRemove_Click(); });
    auto* folderOfEntry = new QAction(QStringLiteral("ﾌｫﾙﾀﾞを開く"), lstBMS);
    connect(folderOfEntry, &QAction::triggered, this, [this] {
        const QModelIndex current = lstBMS->currentIndex();
        if (current.isValid() && showFolder) {
            showFolder(parentFolder(playlist_.at(current.row()).path));
        }
    });
    lstBMS->addActions({playEntry, removeEntries, folderOfEntry});
    lstBMS->setContextMenuPolicy(Qt::ActionsContextMenu);
    Label2 = new QLabel(QStringLiteral("演奏可能なBMS"), this);
    Label2->setGeometry(at(3960, 120, 1695, 255));
    List1 = new QListView(this);
    List1->setGeometry(at(3960, 360, 2415, 1680));
    List1->setModel(&foundModel_);
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    cmdAdd = new QPushButton(QStringLiteral("<- 追加"), this);
    cmdAdd->setGeometry(at(2640, 480, 1215, 375));
    cmdRemove = new QPushButton(QStringLiteral("削除"), this);
    cmdRemove->setGeometry(at(2640, 960, 1215, 375));
    cmdUp = new QPushButton(QStringLiteral("↑"), this);
    cmdUp->setGeometry(at(2640, 1560, 495, 255));
    cmdDown = new QPushButton(QStringLiteral("↓"), this);
    cmdDown->setGeometry(at(2640, 1800, 495, 255));

    Frame1 = new QGroupBox(QStringLiteral("BMSﾌｧｲﾙの検索"), this);
    Frame1->setGeometry(at(120, 2160, 6255, 2055));
    Drive1 = new QComboBox(Frame1);
    Drive1->setGeometry(at(480, 360, 2655, 300));
    Dir1 = new QListWidget(Frame1);
    Dir1->setGeometry(at(480, 720, 2655, 1140));
    cmdRefresh = new QPushButton(QStringLiteral("ﾘｽﾄを更新"), Frame1);
    cmdRefresh->setGeometry(at(3480, 360, 1215, 375));
    cmdAppPath = new QPushButton(QStringLiteral("元のﾃﾞｨﾚｸﾄﾘ"), Frame1);
    cmdAppPath->setGeometry(at(3480, 720, 1215, 375));
    cmdSearch = new QPushButton(QStringLiteral("検索"), Frame1);
    cmdSearch->setGeometry(at(3600, 1320, 2175, 495));
    cmdSearch->setToolTip(QStringLiteral("指定したﾃﾞｨﾚｸﾄﾘ以下にあるBMSﾌｧｲﾙを検索"));

    cmdStart = new QPushButton(QStringLiteral("演奏開始"), this);
    cmdStart->setGeometry(at(120, 4320, 1455, 375));
    cmdReadReadMe = new QPushButton(QStringLiteral("readme.txtを読む"), this);
    cmdReadReadMe->setGeometry(at(3240, 4320, 1575, 375));
    cmdExit = new QPushButton(QStringLiteral("終了"), this);
    cmdExit->setGeometry(at(4920, 4320, 1455, 375));

    QWidget* order[] = {lstBMS,    List1,    cmdAdd,        cmdRemove,  cmdUp,
                        cmdDown,   Drive1,   Dir1,          cmdRefresh, cmdAppPath,
                        cmdSearch, cmdStart, cmdReadReadMe, cmdExit};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdRemove, &QPushButton::clicked, this, [this] { cmdRemove_Click(); });
    connect(cmdUp, &QPushButton::clicked, this, [this] { cmdUp_Click(); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { cmdDown_Click(); });
    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(cmdReadReadMe, &QPushButton::clicked, this, [this] { cmdReadReadMe_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { close(); });
    connect(cmdSearch, &QPushButton::clicked, this, [this] { cmdSearch_Click(); });
    connect(cmdRefresh, &QPushButton::clicked, this, [this] { cmdRefresh_Click(); });
    connect(cmdAppPath, &QPushButton::clicked, this, [this] { cmdAppPath_Click(); });
    connect(Drive1, &QComboBox::activated, this, [this] { driveChosen(); });
    connect(Dir1, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString path = item->data(Qt::UserRole).toString();
        if (!path.isEmpty()) {
            openFolder(path);
        }
    });

    openTextViewer = [](const QString& path) { return carvel::openInTextViewer(path); };
    showFolder = [](const QString& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    showMessage = [this](const QString& title, const QString& text) {
        QMessageBox::warning(this, title, text);
    };

    fillDrives();
    openFolder(QDir::homePath());
}

PlaylistWindow::~PlaylistWindow() {
    joinSearch();
}

void PlaylistWindow::Form_Load(const QString& commandLine) {
    const bool readPrevious = !previousListFile_.isEmpty() && !fileExists(listFile_);
    const QString& path = readPrevious ? previousListFile_ : listFile_;
    ListFileReading reading = loadListFile(path);
    playlist_.appendAll(std::move(reading.entries));
    loaded_ = true;
    // A first start (no list file anywhere) has the demo in its list, so Start plays at once.
    if (reading.status == ListFileReading::Status::Missing && !firstChart.isEmpty() &&
        fileExists(firstChart)) {
        playlist_.append({probeTitle(firstChart), firstChart});
    }
    if (reading.status == ListFileReading::Status::Unreadable) {
        QString text = QStringLiteral("ﾘｽﾄを読み込めませんでした (") + path + QStringLiteral(": ") +
                       reading.error + QStringLiteral(")。");
        if (!readPrevious && !saveFile_.isEmpty()) {
            saveFile_ = listFile_ + QStringLiteral(".new");
            text += QStringLiteral("このﾌｧｲﾙは上書きせず、ﾘｽﾄは ") + saveFile_ +
                    QStringLiteral(" に保存します。");
        }
        showMessage(QStringLiteral("ｴﾗｰ"), text);
    }
    commandLineStart(commandLine);
}

void PlaylistWindow::commandLineStart(const QString& commandLine) {
    if (commandLine.isEmpty()) {
        return;
    }
    const QString absolute = QFileInfo(commandLine).absoluteFilePath();
    if (const std::optional<size_t> i = playlist_.entries().indexOfPath({commandLine, absolute})) {
        lstBMS->setCurrentIndex(playlistModel_.index(static_cast<int>(*i)));
        cmdStart_Click();
        return;
    }
    AddFromFileName(commandLine);
}

void PlaylistWindow::AddFromFileName(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!fileExists(absolute)) {
        return;
    }
    if (holdsLineBreak(absolute)) {
        showMessage(QStringLiteral("ｴﾗｰ"), QString::fromUtf16(kLineBreakInPathMessage));
        return;
    }
    found_.append({probeTitle(absolute), absolute});
    const QModelIndex added = foundModel_.index(static_cast<int>(found_.count() - 1));
    List1->selectionModel()->setCurrentIndex(added, QItemSelectionModel::ClearAndSelect);
    cmdAdd_Click();
    lstBMS->setCurrentIndex(playlistModel_.index(static_cast<int>(playlist_.count() - 1)));
    cmdStart_Click();
}

void PlaylistWindow::cmdAdd_Click() {
    EntryStore marked;
    for (EntryStore::Cursor found(found_.entries()); !found.atEnd(); found.next()) {
        if (List1->selectionModel()->isRowSelected(static_cast<int>(found.index()),
                                                   QModelIndex())) {
            marked.push_back(found.kept());
        }
    }
    playlist_.appendAll(std::move(marked));
}

void PlaylistWindow::cmdRemove_Click() {
    QItemSelectionModel* marks = lstBMS->selectionModel();
    std::vector<int> marked;
    for (const QModelIndex& index : marks->selectedRows()) {
        marked.push_back(index.row());
    }
    std::sort(marked.rbegin(), marked.rend());
    const bool chosenGoes = marks->isSelected(marks->currentIndex());
    for (int row : marked) {
        playlist_.removeAt(row);
    }
    // The view would hand the current row on to a neighbour; a removed choice chooses none.
    if (chosenGoes) {
        marks->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

void PlaylistWindow::cmdUp_Click() {
    const int i = lstBMS->currentIndex().row();
    if (i <= 0 || i >= playlist_.count()) {
        return;
    }
    playlist_.move(i, i - 1);  // the current row and the marks move with their entries
    lstBMS->setFocus();
}

void PlaylistWindow::cmdDown_Click() {
    const int i = lstBMS->currentIndex().row();
    if (i < 0 || i >= playlist_.count() - 1) {
        return;
    }
    playlist_.move(i, i + 1);
    lstBMS->setFocus();
}

void PlaylistWindow::cmdStart_Click() {
    if (playlist_.isEmpty()) {
        return;
    }
    hide();
    const int k = lstBMS->currentIndex().isValid() ? lstBMS->currentIndex().row() : -1;
    playlist_.setCurrent(k > 0 ? k - 1 : playlist_.count() - 1);
    if (onStart) {
        onStart();
    }
}

void PlaylistWindow::cmdReadReadMe_Click() {
    const QString readme = installLayout().readme;
    if (!fileExists(readme)) {
        showMessage(QStringLiteral("ｴﾗｰ"), QStringLiteral("readme.txt が見つかりません。"));
        return;
    }
    openTextViewer(readme);
}

void PlaylistWindow::fillDrives() {
    Drive1->clear();
    QStringList roots{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath())) {
            roots.append(volume.rootPath());
        }
    }
    Drive1->addItems(roots);
}

void PlaylistWindow::driveChosen() {
    openFolder(Drive1->currentText());
}

void PlaylistWindow::openFolder(const QString& path) {
    // Folders are listed by the bytes of their names, so that a folder named in CP932 can be
    // opened and searched like any other.
    const QString absolute = QDir(path).absolutePath();
    const std::optional<QByteArray> native = nativePath(absolute);
    if (!native || !folderExists(absolute)) {
        return;
    }
    dirPath_ = absolute;
    Dir1->clear();
    auto* here = new QListWidgetItem(dirPath_, Dir1);
    here->setFlags(Qt::ItemIsEnabled);
    if (dirPath_ != u'/') {
        auto* up = new QListWidgetItem(QStringLiteral(".."), Dir1);
        up->setData(Qt::UserRole, parentFolder(dirPath_));
    }
    for (const FolderEntry& sub : listFolder(*native)) {
        if (sub.kind == FolderEntry::Kind::Folder && !sub.name.startsWith(u'.')) {
            auto* item = new QListWidgetItem(sub.name, Dir1);
            item->setData(Qt::UserRole, withTrailingSlash(dirPath_) + sub.name);
        }
    }
    Dir1->setToolTip(dirPath_);
}

void PlaylistWindow::cmdRefresh_Click() {
    fillDrives();
    openFolder(dirPath_);
}

void PlaylistWindow::cmdAppPath_Click() {
    const QString initial = installLayout().initialFolder;
    const int drive = Drive1->findText(QStorageInfo(initial).rootPath());
    if (drive >= 0) {
        Drive1->setCurrentIndex(drive);
    }
    openFolder(initial);
}

void PlaylistWindow::cmdSearch_Click() {
    if (searchThread_) {
        return;
    }
    if (!folderReadable(dirPath_)) {
        showMessage(QStringLiteral("ｴﾗｰ"),
                    QStringLiteral("ﾌｫﾙﾀﾞ ") + dirPath_ + QStringLiteral(" を読み込めません。"));
        return;
    }
    cmdSearch->setEnabled(false);
    setCursor(Qt::BusyCursor);
    cancelSearch_ = false;
    const QString root = dirPath_;
    const ReadingMode mode = searchMode_;
    searchThread_ = std::make_unique<std::thread>([this, root, mode] {
        SearchResult found = searchCharts(root, &cancelSearch_, mode);
        QMetaObject::invokeMethod(
            this, [this, found = std::move(found)]() mutable { finishSearch(std::move(found)); },
            Qt::QueuedConnection);
    });
}

void PlaylistWindow::finishSearch(SearchResult found) {
    joinSearch();
    found_.appendAll(EntryStore(found.charts));
    unsetCursor();
    cmdSearch->setEnabled(true);
    if (found.withLineBreak > 0) {
        showMessage(QStringLiteral("ｴﾗｰ"), QString::fromUtf16(kLineBreakInPathMessage));
    }
    if (onSearchFinished) {
        onSearchFinished();
    }
}

void PlaylistWindow::joinSearch() {
    if (searchThread_) {
        cancelSearch_ = true;
        if (searchThread_->joinable()) {
            searchThread_->join();
        }
        searchThread_.reset();
    }
}

void PlaylistWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void PlaylistWindow::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        return;
    }
    event->acceptProposedAction();
    bool refused = false;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.isLocalFile() ? localFileName(url) : QString();
        const QString name = path.section(u'/', -1).toLower();
        const bool chart = name.endsWith(u".bms") || name.endsWith(u".bme") ||
                           name.endsWith(u".bml") || name.endsWith(u".pms") ||
                           name.endsWith(u".bmson");
        if (!chart || !fileExists(path)) {
            continue;
        }
        if (holdsLineBreak(path)) {
            refused = true;
            continue;
        }
        playlist_.append({probeTitle(path), path});
        lstBMS->setCurrentIndex(playlistModel_.index(static_cast<int>(playlist_.count() - 1)));
    }
    if (refused) {
        showMessage(QStringLiteral("ｴﾗｰ"), QString::fromUtf16(kLineBreakInPathMessage));
    }
}

void PlaylistWindow::closeEvent(QCloseEvent* event) {
    // An emptied playlist is saved too, as an empty file; a list never read is not saved at all.
    saveTimer_.stop();
    if (loaded_ && !saveFile_.isEmpty()) {
        const QString error = writeListFile(saveFile_, playlist_.entries());
        if (!error.isEmpty()) {
            showMessage(QStringLiteral("ｴﾗｰ"),
                        QStringLiteral("ﾘｽﾄを保存できませんでした (") + saveFile_ +
                            QStringLiteral(": ") + error +
                            QStringLiteral(")。前回のﾘｽﾄはそのまま残っています。"));
        }
    }
    joinSearch();
    event->accept();
    if (onExit) {
        onExit();
    }
}

}  // namespace carvel
