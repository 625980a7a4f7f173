#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>
#include <functional>

namespace pelvar::ui {

namespace {

using Painter = void (*)(QPainter&);

void Circle(QPainter& p, const QColor& fill) {
  p.setPen(QPen(fill.darker(140), 1));
  p.setBrush(fill);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void Glyph(QPainter& p, const QString& text, const QColor& colour) {
  QFont font = p.font();
  font.setPixelSize(11);
  font.setBold(true);
  p.setFont(font);
  p.setPen(colour);
  p.drawText(QRectF(0, 0.5, 16, 16), Qt::AlignCenter, text);
}

void Failure(QPainter& p) {
  Circle(p, QColor(0xd9, 0x30, 0x25));
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
  p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void Success(QPainter& p) {
  Circle(p, QColor(0x2e, 0xa0, 0x43));
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath tick;
  tick.moveTo(4.5, 8.5);
  tick.lineTo(7, 11);
  tick.lineTo(11.5, 5.5);
  p.setBrush(Qt::NoBrush);
  p.drawPath(tick);
}

void Bulb(QPainter& p) {
  p.setPen(QPen(QColor(0xb0, 0x8a, 0x00), 1));
  p.setBrush(QColor(0xff, 0xd8, 0x30));
  p.drawEllipse(QRectF(3.5, 1.5, 9, 9));
  p.setBrush(QColor(0x90, 0x90, 0x90));
  p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
  p.drawRect(QRectF(5.5, 10.5, 5, 4));
  p.drawLine(QPointF(5.5, 12.5), QPointF(10.5, 12.5));
}

void Question(QPainter& p) {
  Circle(p, QColor(0x2b, 0x6c, 0xd4));
  Glyph(p, QStringLiteral("?"), Qt::white);
}

void Warning(QPainter& p) {
  QPainterPath triangle;
  triangle.moveTo(8, 1.5);
  triangle.lineTo(15, 14.5);
  triangle.lineTo(1, 14.5);
  triangle.closeSubpath();
  p.setPen(QPen(QColor(0xb0, 0x80, 0x00), 1));
  p.setBrush(QColor(0xff, 0xcc, 0x1a));
  p.drawPath(triangle);
  p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(8, 5.5), QPointF(8, 10));
  p.drawPoint(QPointF(8, 12.5));
}

void ListWindow(QPainter& p) {
  p.setPen(QPen(QColor(0x3a, 0x4a, 0x6a), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(1.5, 2.5, 13, 11));
  p.fillRect(QRectF(2, 3, 12, 2.5), QColor(0x3a, 0x6e, 0xc0));
  p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
  for (double y : {7.5, 9.5, 11.5}) p.drawLine(QPointF(4, y), QPointF(12, y));
}

void Blank(QPainter&) {}

void Info(QPainter& p) {
  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(1.5, 1.5, 13, 10), 3, 3);
  QPainterPath tail;
  tail.moveTo(4, 11);
  tail.lineTo(3.5, 14.5);
  tail.lineTo(8, 11);
  tail.closeSubpath();
  p.setPen(QPen(QColor(0x1d, 0x4f, 0x9c), 1));
  p.setBrush(QColor(0x3d, 0x85, 0xe0));
  p.drawPath(bubble.united(tail));
  QFont font = p.font();
  font.setPixelSize(9);
  font.setBold(true);
  font.setFamily(QStringLiteral("DejaVu Serif"));
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(1.5, 1.5, 13, 10), Qt::AlignCenter, QStringLiteral("i"));
}

constexpr std::array<Painter, kLogKindCount> kPainters = {
    Failure, Success, Bulb, Failure, Question, Warning, ListWindow, Blank, Info};

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(16 * scale, 16 * scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    paint(p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

void DrawProgram(QPainter& p) {
  // A blue tile with a script page and a green "run" triangle.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x24, 0x5b, 0xa8));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(14, 10, 30, 40), 3, 3);
  p.setPen(QPen(QColor(0x24, 0x5b, 0xa8), 3, Qt::SolidLine, Qt::RoundCap));
  for (int y : {19, 26, 33}) p.drawLine(QPointF(20, y), QPointF(38, y));
  QPainterPath run;
  run.moveTo(34, 34);
  run.lineTo(54, 45);
  run.lineTo(34, 56);
  run.closeSubpath();
  p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0x2e, 0xb0, 0x4b));
  p.drawPath(run);
}

// A command's tile: a rounded square in the family's colour with a letter;
// a red bar across the corner marks the deleting commands.
struct CommandTile {
  QColor colour;
  const char* letter;
  bool deletes;
};

constexpr int kCommandImageCount = 16;

const std::array<CommandTile, kCommandImageCount> kCommandTiles = {{
    {QColor(0x8a, 0x8a, 0x8a), "?", false},  // 0 no known prefix
    {QColor(0x2b, 0x6c, 0xd4), "I", false},  // 1 INI write, add section
    {QColor(0x2b, 0x6c, 0xd4), "I", true},   // 2 INI delete
    {QColor(0x7b, 0x3f, 0xb5), "R", false},  // 3 registry write
    {QColor(0x7b, 0x3f, 0xb5), "R", true},   // 4 registry delete
    {QColor(0x7b, 0x3f, 0xb5), "R", false},  // 5 registry (other)
    {QColor(0xc8, 0x8a, 0x00), "D", false},  // 6 folders
    {QColor(0x5a, 0x2d, 0x8a), "H", false},  // 7 hives
    {QColor(0x8a, 0x8a, 0x8a), "", false},   // 8 (unused)
    {QColor(0x3a, 0x8a, 0x5a), "F", false},  // 9 files
    {QColor(0x3a, 0x8a, 0x5a), "F", true},   // 10 file delete
    {QColor(0x2e, 0x9c, 0xa8), ">", false},  // 11 programs, sound, messages, wait
    {QColor(0xd0, 0x6a, 0x1a), "E", false},  // 12 extract
    {QColor(0x1f, 0x7a, 0xb8), "W", false},  // 13 download
    {QColor(0x55, 0x66, 0x77), "T", false},  // 14 text files
    {QColor(0x2e, 0xa0, 0x43), "e", false},  // 15 echo
}};

QIcon DrawCommandTile(const CommandTile& tile) {
  return Draw([&tile](QPainter& p) {
    p.setPen(QPen(tile.colour.darker(140), 1));
    p.setBrush(tile.colour);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    Glyph(p, QString::fromLatin1(tile.letter), Qt::white);
    if (tile.deletes) {
      p.setPen(QPen(QColor(0xd9, 0x30, 0x25), 2.2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(3, 13), QPointF(13, 3));
    }
  });
}

}  // namespace

const QIcon& CommandIcon(int image) {
  static const std::array<QIcon, kCommandImageCount> icons = [] {
    std::array<QIcon, kCommandImageCount> out;
    for (size_t i = 0; i < out.size(); ++i) out[i] = DrawCommandTile(kCommandTiles[i]);
    return out;
  }();
  if (image < 0 || image >= kCommandImageCount) image = 0;
  return icons[static_cast<size_t>(image)];
}

const QIcon& LogKindIcon(int kind) {
  static const std::array<QIcon, kLogKindCount> icons = [] {
    std::array<QIcon, kLogKindCount> out;
    for (size_t i = 0; i < out.size(); ++i) out[i] = Draw(kPainters[i]);
    return out;
  }();
  if (kind < 0 || kind >= kLogKindCount) kind = 0;
  return icons[static_cast<size_t>(kind)];
}

const QIcon& ProgramIcon() {
  static const QIcon icon = [] {
    QIcon out;
    for (int size : {16, 32, 48, 64, 128}) {
      QPixmap pixmap(size, size);
      pixmap.fill(Qt::transparent);
      QPainter p(&pixmap);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(size / 64.0, size / 64.0);
      DrawProgram(p);
      p.end();
      out.addPixmap(pixmap);
    }
    return out;
  }();
  return icon;
}

}  // namespace pelvar::ui
