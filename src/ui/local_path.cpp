// SPDX-License-Identifier: MIT
#include "ui/local_path.h"

#include <QByteArray>
#include <QStringList>

#include "platform/text.h"

namespace vantrel {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscaped(QChar c) noexcept { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; }

}  // namespace

QString pathString(std::string_view bytes) {
  if (isUtf8(bytes)) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  while (!bytes.empty()) {
    const std::size_t len = utf8CharLength(bytes);
    if (len == 0) {
      out += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes.front())));
      bytes.remove_prefix(1);
    } else {
      out += QString::fromUtf8(bytes.data(), static_cast<qsizetype>(len));
      bytes.remove_prefix(len);
    }
  }
  return out;
}

std::string pathBytes(const QString& path) {
  std::string out;
  out.reserve(static_cast<std::size_t>(path.size()));
  qsizetype from = 0;
  const auto flush = [&](qsizetype to) {
    if (to > from) out += path.mid(from, to - from).toStdString();
  };
  for (qsizetype k = 0; k < path.size(); ++k) {
    if (!isEscaped(path[k])) continue;
    flush(k);
    out += static_cast<char>(path[k].unicode() - kEscapeBase);
    from = k + 1;
  }
  flush(path.size());
  return out;
}

QString shownText(const QString& path) {
  bool escaped = false;
  for (QChar c : path) escaped |= isEscaped(c);
  if (!escaped) return path;
  // Component by component: a name with an escaped byte is shown by all its
  // bytes taken as Latin-1.
  const QStringList parts = path.split(QLatin1Char('/'));
  QStringList shown;
  shown.reserve(parts.size());
  for (const QString& part : parts) {
    bool partEscaped = false;
    for (QChar c : part) partEscaped |= isEscaped(c);
    shown << (partEscaped ? QString::fromLatin1(QByteArray::fromStdString(pathBytes(part))) : part);
  }
  return shown.join(QLatin1Char('/'));
}

}  // namespace vantrel
