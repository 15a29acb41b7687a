#include "app/artwork.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <array>

namespace edbx::gui {

namespace {

const QColor kOutline(70, 70, 70);
const QColor kFolderFill(245, 200, 90);
const QColor kFolderBack(225, 170, 60);
const QColor kPaper(252, 252, 252);
const QColor kBlue(40, 110, 200);
const QColor kGreen(40, 150, 60);
const QColor kRed(200, 40, 40);

QImage Canvas(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void Pen(QPainter& p, const QColor& c, double width = 1.0) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void Folder(QPainter& p) {
  Pen(p, QColor(150, 110, 30));
  p.setBrush(kFolderBack);
  p.drawRoundedRect(QRectF(1.5, 3.5, 6, 3), 1, 1);
  p.setBrush(kFolderFill);
  p.drawRoundedRect(QRectF(1.5, 5.5, 13, 8.5), 1, 1);
}

void Envelope(QPainter& p, const QRectF& r, const QColor& fill) {
  Pen(p, kOutline);
  p.setBrush(fill);
  p.drawRect(r);
  p.drawPolyline(QPolygonF({r.topLeft(), QPointF(r.center().x(), r.center().y() + 0.5), r.topRight()}));
}

void Tray(QPainter& p) {
  Pen(p, kOutline);
  p.setBrush(QColor(200, 215, 235));
  QPolygonF tray({{1.5, 9.5}, {4.5, 9.5}, {5.5, 11.5}, {10.5, 11.5}, {11.5, 9.5}, {14.5, 9.5}, {14.5, 14.5}, {1.5, 14.5}});
  p.drawPolygon(tray);
}

void Arrow(QPainter& p, bool down, const QColor& c) {
  Pen(p, c, 2.0);
  if (down) {
    p.drawLine(QPointF(8, 1.5), QPointF(8, 8));
    p.drawPolyline(QPolygonF({{5, 5.5}, {8, 8.5}, {11, 5.5}}));
  } else {
    p.drawLine(QPointF(8, 9), QPointF(8, 2.5));
    p.drawPolyline(QPolygonF({{5, 5}, {8, 2}, {11, 5}}));
  }
}

void Person(QPainter& p, double cx, double top, double scale, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QPointF(cx, top + 2.2 * scale), 2.2 * scale, 2.2 * scale);
  QPainterPath body;
  body.moveTo(cx - 4 * scale, top + 9 * scale);
  body.cubicTo(cx - 4 * scale, top + 4.5 * scale, cx + 4 * scale, top + 4.5 * scale, cx + 4 * scale, top + 9 * scale);
  body.closeSubpath();
  p.drawPath(body);
}

void Paper(QPainter& p, const QRectF& r) {
  Pen(p, kOutline);
  p.setBrush(kPaper);
  p.drawRect(r);
}

void Lines(QPainter& p, double x1, double x2, double y, int count, double step) {
  Pen(p, QColor(130, 130, 130));
  for (int i = 0; i < count; ++i) p.drawLine(QPointF(x1, y + i * step), QPointF(x2, y + i * step));
}

void Draw(QPainter& p, int index) {
  switch (index) {
    case kIconMailbox:  // a person in front of a letter
      Envelope(p, QRectF(1.5, 2.5, 11, 8), kPaper);
      Person(p, 11, 6, 1.0, kBlue);
      break;
    case kIconStore: {  // a database cylinder
      Pen(p, QColor(30, 70, 130));
      p.setBrush(QColor(110, 160, 220));
      QPainterPath body;
      body.addRect(QRectF(2.5, 3.5, 11, 9));
      p.drawPath(body);
      p.drawEllipse(QRectF(2.5, 10.5, 11, 4));
      p.setPen(Qt::NoPen);
      p.drawRect(QRectF(3, 4, 10, 8.5));
      Pen(p, QColor(30, 70, 130));
      p.setBrush(QColor(170, 205, 245));
      p.drawEllipse(QRectF(2.5, 1.5, 11, 4));
      break;
    }
    case kIconCalendar: {
      Paper(p, QRectF(1.5, 2.5, 13, 12));
      p.setPen(Qt::NoPen);
      p.setBrush(kRed);
      p.drawRect(QRectF(2, 3, 12, 3));
      p.setBrush(QColor(90, 90, 90));
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.drawRect(QRectF(3 + c * 2.8, 7.3 + r * 2.3, 1.6, 1.4));
      Pen(p, kOutline);
      p.drawLine(QPointF(5, 1), QPointF(5, 4));
      p.drawLine(QPointF(11, 1), QPointF(11, 4));
      break;
    }
    case kIconContacts:  // an address card
      Pen(p, kOutline);
      p.setBrush(QColor(235, 240, 250));
      p.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 1.5, 1.5);
      Person(p, 5, 4.5, 0.85, kBlue);
      Lines(p, 9, 13.5, 6.5, 3, 2.5);
      break;
    case kIconDeleted: {  // a waste bin
      Pen(p, kOutline);
      p.setBrush(QColor(190, 195, 200));
      p.drawPolygon(QPolygonF({{3.5, 4.5}, {12.5, 4.5}, {11.5, 14.5}, {4.5, 14.5}}));
      p.drawLine(QPointF(2, 3.5), QPointF(14, 3.5));
      p.drawLine(QPointF(6.5, 1.5), QPointF(9.5, 1.5));
      p.drawLine(QPointF(6.5, 1.5), QPointF(6.5, 3.5));
      p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 3.5));
      Pen(p, QColor(110, 110, 110));
      for (double x : {6.0, 8.0, 10.0}) p.drawLine(QPointF(x, 6.5), QPointF(x, 12.5));
      break;
    }
    case kIconDrafts: {  // a page and a pencil
      Paper(p, QRectF(1.5, 1.5, 10, 13));
      Lines(p, 3.5, 9.5, 4.5, 4, 2.5);
      Pen(p, QColor(120, 80, 20));
      p.setBrush(QColor(250, 190, 40));
      p.drawPolygon(QPolygonF({{14.5, 5}, {15.8, 6.3}, {9, 13.2}, {7.3, 13.8}, {7.8, 12}}));
      break;
    }
    case kIconInbox:
      Tray(p);
      Arrow(p, true, kGreen);
      break;
    case kIconOutbox:
      Tray(p);
      Arrow(p, false, kBlue);
      break;
    case kIconJournal: {  // a bound book
      Pen(p, QColor(60, 40, 90));
      p.setBrush(QColor(130, 90, 190));
      p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
      p.setBrush(kPaper);
      p.drawRect(QRectF(6, 4, 6, 4));
      Pen(p, QColor(230, 230, 230), 1.5);
      p.drawLine(QPointF(4.2, 2), QPointF(4.2, 14));
      break;
    }
    case kIconJunk: {  // a letter with a ban sign
      Envelope(p, QRectF(0.5, 2.5, 11, 8), kPaper);
      Pen(p, kRed, 1.6);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(11, 11), 4, 4);
      p.drawLine(QPointF(8.3, 13.7), QPointF(13.7, 8.3));
      break;
    }
    case kIconNotes: {  // a sticky note with a folded corner
      Pen(p, QColor(160, 140, 30));
      p.setBrush(QColor(255, 240, 120));
      p.drawPolygon(QPolygonF({{1.5, 1.5}, {14.5, 1.5}, {14.5, 10.5}, {10.5, 14.5}, {1.5, 14.5}}));
      p.setBrush(QColor(230, 210, 80));
      p.drawPolygon(QPolygonF({{14.5, 10.5}, {10.5, 10.5}, {10.5, 14.5}}));
      Lines(p, 3.5, 12, 4.5, 3, 2.3);
      break;
    }
    case kIconSent: {  // a letter flying off to the right
      Envelope(p, QRectF(0.5, 4.5, 10, 7), kPaper);
      Pen(p, kGreen, 2.0);
      p.drawLine(QPointF(9, 13.5), QPointF(15, 13.5));
      p.drawPolyline(QPolygonF({{12.5, 11}, {15, 13.5}, {12.5, 16}}));
      break;
    }
    case kIconTasks: {  // a clipboard with a tick
      Pen(p, kOutline);
      p.setBrush(QColor(200, 160, 110));
      p.drawRoundedRect(QRectF(2.5, 1.5, 11, 14), 1, 1);
      p.setBrush(kPaper);
      p.drawRect(QRectF(4, 3.5, 8, 10.5));
      p.setBrush(QColor(150, 150, 150));
      p.drawRect(QRectF(6, 0.5, 4, 2.5));
      Pen(p, kGreen, 2.0);
      p.drawPolyline(QPolygonF({{5.5, 8.5}, {7.5, 10.5}, {11, 6}}));
      break;
    }
    case kIconSyncIssues: {  // two turning arrows with a warning mark
      Pen(p, kBlue, 1.6);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(1.5, 1.5, 11, 11), 30 * 16, 150 * 16);
      p.drawArc(QRectF(1.5, 1.5, 11, 11), 210 * 16, 150 * 16);
      p.drawPolyline(QPolygonF({{10.5, 0.5}, {11.8, 3.6}, {8.6, 4.2}}));
      p.drawPolyline(QPolygonF({{3.5, 13.5}, {2.2, 10.4}, {5.4, 9.8}}));
      Pen(p, QColor(150, 100, 0));
      p.setBrush(QColor(255, 200, 0));
      p.drawPolygon(QPolygonF({{12, 8.5}, {15.5, 15}, {8.5, 15}}));
      Pen(p, Qt::black);
      p.drawLine(QPointF(12, 10.8), QPointF(12, 12.6));
      p.drawPoint(QPointF(12, 14));
      break;
    }
    case kIconSearch: {  // a folder with a magnifier
      Folder(p);
      Pen(p, kOutline, 1.5);
      p.setBrush(QColor(220, 235, 255));
      p.drawEllipse(QPointF(9, 9), 3, 3);
      p.drawLine(QPointF(11.2, 11.2), QPointF(14.5, 14.5));
      break;
    }
    default:
      Folder(p);
      break;
  }
}

}  // namespace

QImage DrawTreeIcon(int index) {
  QImage image = Canvas(16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Draw(p, index);
  return image;
}

QString TreeIconName(int index) {
  static const std::array<const char*, kTreeIconCount> names = {
      "folder",   "mailbox",  "store",   "calendar", "contacts", "deleted-items", "drafts",      "inbox",
      "journal",  "junk-mail", "notes",  "outbox",   "sent-items", "tasks",       "sync-issues", "search-folder"};
  const int i = index >= 0 && index < kTreeIconCount ? index : 0;
  return QStringLiteral("folder-%1.png").arg(QString::fromLatin1(names[static_cast<std::size_t>(i)]));
}

QImage DrawAppIcon(int size) {
  QImage image = Canvas(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  // A database cylinder with a letter in front: mail recovered from a store.
  QLinearGradient g(0, 0, 64, 0);
  g.setColorAt(0, QColor(40, 90, 170));
  g.setColorAt(1, QColor(90, 150, 230));
  p.setPen(QPen(QColor(20, 50, 110), 2));
  p.setBrush(g);
  p.drawRect(QRectF(8, 12, 40, 36));
  p.drawEllipse(QRectF(8, 40, 40, 16));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(9, 12, 38, 36));
  p.setPen(QPen(QColor(20, 50, 110), 2));
  p.setBrush(QColor(150, 195, 245));
  p.drawEllipse(QRectF(8, 4, 40, 16));
  p.setPen(QPen(QColor(80, 80, 80), 2));
  p.setBrush(QColor(255, 255, 255));
  p.drawRect(QRectF(26, 30, 34, 24));
  p.drawPolyline(QPolygonF({{26, 30}, {43, 44}, {60, 30}}));
  p.setPen(QPen(QColor(40, 150, 60), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(QRectF(34, 10, 22, 22), 200 * 16, -230 * 16);
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
  return icon;
}

QImage DrawBanner(int width, int height, bool right) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, width, height);
  g.setColorAt(0, right ? QColor(60, 120, 200) : QColor(20, 60, 130));
  g.setColorAt(1, right ? QColor(20, 60, 130) : QColor(60, 120, 200));
  p.fillRect(image.rect(), g);
  if (right) {  // stretches with the window: the picture stays at its right end
    p.drawImage(QRectF(width - height - 4, 6, height - 12, height - 12), DrawAppIcon(256));
    return image;
  }
  p.drawImage(QRectF(10, 6, height - 12, height - 12), DrawAppIcon(256));
  QFont title = p.font();
  title.setPixelSize(std::max(10, height * 28 / 100));
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(height + 6, 4, width - height - 10, height * 0.6), Qt::AlignLeft | Qt::AlignBottom,
             QStringLiteral("Vestra Exchange Mailbox Recovery"));
  QFont sub = p.font();
  sub.setPixelSize(std::max(8, height * 17 / 100));
  sub.setBold(false);
  p.setFont(sub);
  p.setPen(QColor(210, 230, 255));
  p.drawText(QRectF(height + 8, height * 0.62, width - height - 10, height * 0.35), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("Folders, mails, contacts and calendars from offline Exchange databases"));
  return image;
}

QImage DrawAboutPicture(int width, int height) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, height);
  g.setColorAt(0, QColor(20, 60, 130));
  g.setColorAt(1, QColor(181, 241, 253));
  p.fillRect(image.rect(), g);
  const int icon = std::min(96, height / 3);
  p.drawImage(QRectF(20, 20, icon, icon), DrawAppIcon(256));
  QFont title;
  title.setPixelSize(20);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(icon + 36, 20, width - icon - 50, icon), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
             QStringLiteral("Vestra Exchange Mailbox Recovery"));
  QFont body;
  body.setPixelSize(13);
  p.setFont(body);
  p.setPen(QColor(10, 30, 70));
  p.drawText(QRectF(24, icon + 40, width - 48, height - icon - 90), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             QStringLiteral("Version 1.0\nVestra IT Solutions\n\nReads Exchange databases (.edb) read-only and "
                            "recovers their mailboxes, folders and items."));
  return image;
}

}  // namespace edbx::gui
