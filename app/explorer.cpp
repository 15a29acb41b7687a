#include "app/explorer.hpp"

#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

namespace edbx::gui {

bool IsLocalUrl(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return scheme == QLatin1String("file") || scheme == QLatin1String("data") ||
         (scheme == QLatin1String("about") && url.path() == QLatin1String("blank"));
}

void LocalOnlyInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
  if (!IsLocalUrl(info.requestUrl())) info.block(true);
}

bool LocalOnlyPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) { return IsLocalUrl(url); }

QWebEnginePage* LocalOnlyPage::createWindow(WebWindowType) { return nullptr; }  // no pop-ups

CExplorer1::CExplorer1(QWidget* parent)
    : QWebEngineView(parent),
      profile_(new QWebEngineProfile(this)),  // off the record: nothing stored on disk
      interceptor_(new LocalOnlyInterceptor(this)) {
  setObjectName(QStringLiteral("explorer"));
  profile_->setUrlRequestInterceptor(interceptor_);
  profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  QWebEngineSettings* s = profile_->settings();
  s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);  // the frameset's frames
  s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
  s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
  s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
  s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
  setPage(new LocalOnlyPage(profile_, this));
  setContextMenuPolicy(Qt::NoContextMenu);
  connect(this, &QWebEngineView::loadStarted, this, [this] { loaded_ = false; });
  connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
    loaded_ = true;
    emit PageLoaded(ok);
  });
}

CExplorer1::~CExplorer1() {
  // The page must go before its profile.
  delete page();
}

void CExplorer1::Navigate(const std::filesystem::path& page) {
  last_page_ = page;
  loaded_ = false;
  load(QUrl::fromLocalFile(QString::fromStdString(page.string())));
}

}  // namespace edbx::gui
