#pragma once
// The preview pane: a web view that shows local files only. Mail content is untrusted:
// scripts and plugins are off, and every request for anything but a local file is
// refused before it leaves the machine.

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <filesystem>

class QWebEngineProfile;

namespace edbx::gui {

/// Whether the pane may load `url`: local files and inline data only.
bool IsLocalUrl(const QUrl& url);

class LocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

class LocalOnlyPage : public QWebEnginePage {
  Q_OBJECT
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;
};

class CExplorer1 : public QWebEngineView {
  Q_OBJECT

 public:
  explicit CExplorer1(QWidget* parent = nullptr);
  ~CExplorer1() override;

  /// Shows a local file; a failure is ignored.
  void Navigate(const std::filesystem::path& page);
  /// The file last navigated to.
  const std::filesystem::path& last_page() const { return last_page_; }
  /// Whether the last navigation has finished loading (frames included).
  bool loaded() const { return loaded_; }

 signals:
  void PageLoaded(bool ok);

 private:
  QWebEngineProfile* profile_;
  LocalOnlyInterceptor* interceptor_;
  std::filesystem::path last_page_;
  bool loaded_ = true;
};

}  // namespace edbx::gui
