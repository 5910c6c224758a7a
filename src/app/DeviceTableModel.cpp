#include "app/DeviceTableModel.h"

#include <QBrush>
#include <QDateTime>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <chrono>

#include "protocol/Frame.h"
#include "ui/DeviceTextQt.h"

namespace velkaro {

namespace {

QString MacDigits(std::uint64_t mac) {
  return QStringLiteral("%1").arg(mac & 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0'));
}

bool IsMacSeparator(QChar c) {
  return c == u'.' || c == u':' || c == u'-' || c == u' ';
}

bool IsHexDigit(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "00:1a-2B" as "001a2b"; empty when the needle is not a piece of a MAC address.
QString MacNeedle(const QString& needle) {
  QString digits;
  for (const QChar c : needle) {
    if (IsMacSeparator(c)) continue;
    if (!IsHexDigit(c)) return {};
    digits += c.toLower();
  }
  return digits;
}

QString LocalClock(TWallTime when) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

TDeviceTableModel::TDeviceTableModel(const TSession& session, QObject* parent)
    : QAbstractTableModel(parent), session_(session) {}

int TDeviceTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TDeviceTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TDeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kName:
      return tr("Name");
    case kType:
      return tr("Type");
    case kIp:
      return tr("IP Address");
    case kMac:
      return tr("MAC Address");
    case kInterface:
      return tr("Interface");
    case kState:
      return tr("State");
    default:
      return QString();
  }
}

QVariant TDeviceTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return index.column() < kTextColumns ? Text(index.row(), index.column()) : QString();
    case Qt::ForegroundRole:
      // An offline device stays listed, greyed.
      if (Missing(index.row()))
        return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      return {};
    default:
      return {};
  }
}

bool TDeviceTableModel::Missing(int row) const {
  const auto index = static_cast<std::size_t>(row);
  return index < session_.DeviceList.size() && session_.DeviceList.PresenceOf(index).missing;
}

QString TDeviceTableModel::Text(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= kTextColumns) return {};
  if (column < kState) return rows_[static_cast<std::size_t>(row)].cells[column];
  const auto index = static_cast<std::size_t>(row);
  if (index >= session_.DeviceList.size()) return {};
  const TPresence& presence = session_.DeviceList.PresenceOf(index);
  return presence.missing ? tr("offline since %1").arg(LocalClock(presence.missingSince))
                          : tr("online");
}

TDeviceTableModel::TRow TDeviceTableModel::MakeRow(std::size_t index) const {
  const TZEL& record = session_.DeviceList[index];
  TRow row;
  row.cells = {
      ui::DeviceTextToQString(record.values.AsText(7)),
      ui::DeviceTextToQString(record.values.AsText(5)),
      QString::fromStdString(IpToText(record.values.AsUInt(2))),
      QString::fromStdString(MacToText(record.MAC)),
      record.link.Empty() ? QStringLiteral("-") : QString::fromStdString(record.link.name)};
  row.ip = record.values.AsUInt(2);
  row.mac = record.MAC;
  row.macDigits = MacDigits(record.MAC);
  for (const QString& cell : row.cells) row.filterKey += cell.toLower() + u'\n';
  return row;
}

void TDeviceTableModel::Reset() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();  // a smaller list after a big one gives the memory back
  endResetModel();
}

bool TDeviceTableModel::Refresh(std::size_t index) {
  TRow row = MakeRow(index);
  if (row == rows_[index]) return false;
  rows_[index] = std::move(row);
  return true;
}

void TDeviceTableModel::DeviceChanged(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= session_.DeviceList.size()) return;
  const int count = rowCount();
  if (batch_ > 0) {
    if (index >= count) {
      batchSize_ = std::max(batchSize_, static_cast<std::size_t>(index) + 1);
    } else if (Refresh(static_cast<std::size_t>(index))) {
      dirtyFirst_ = dirtyFirst_ < 0 ? index : std::min(dirtyFirst_, index);
      dirtyLast_ = std::max(dirtyLast_, index);
    }
    return;
  }
  if (index < count) {
    if (Refresh(static_cast<std::size_t>(index)))
      emit dataChanged(this->index(index, 0), this->index(index, kColumnCount - 1));
    return;
  }
  beginInsertRows({}, count, index);
  for (int i = count; i <= index; ++i) rows_.push_back(MakeRow(static_cast<std::size_t>(i)));
  endInsertRows();
}

void TDeviceTableModel::EndBatch() {
  if (batch_ == 0 || --batch_ > 0) return;
  if (dirtyFirst_ >= 0)
    emit dataChanged(index(dirtyFirst_, 0), index(dirtyLast_, kColumnCount - 1));
  dirtyFirst_ = dirtyLast_ = -1;
  const std::size_t size = std::min(batchSize_, session_.DeviceList.size());
  batchSize_ = 0;
  if (size <= rows_.size()) return;
  beginInsertRows({}, rowCount(), static_cast<int>(size) - 1);
  rows_.reserve(size);
  for (std::size_t i = rows_.size(); i < size; ++i) rows_.push_back(MakeRow(i));
  endInsertRows();
}

void TDeviceTableModel::PresenceChanged() {
  if (rows_.empty()) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1),
                   {Qt::DisplayRole, Qt::ForegroundRole});
}

bool TDeviceTableModel::Matches(int row, const QString& needle) const {
  if (needle.isEmpty()) return true;
  if (row < 0 || row >= rowCount()) return false;
  const TRow& r = rows_[static_cast<std::size_t>(row)];
  if (r.filterKey.contains(needle, Qt::CaseInsensitive)) return true;
  const QString digits = MacNeedle(needle);
  return !digits.isEmpty() && r.macDigits.contains(digits);
}

bool TDeviceTableModel::Less(int left, int right, int column) const {
  const TRow& a = rows_[static_cast<std::size_t>(left)];
  const TRow& b = rows_[static_cast<std::size_t>(right)];
  switch (column) {
    case kIp:
      return a.ip < b.ip;
    case kMac:
      return (a.mac & 0xFFFFFFFFFFFFull) < (b.mac & 0xFFFFFFFFFFFFull);
    case kState: {
      const TPresence& pa = session_.DeviceList.PresenceOf(static_cast<std::size_t>(left));
      const TPresence& pb = session_.DeviceList.PresenceOf(static_cast<std::size_t>(right));
      if (pa.missing != pb.missing) return pb.missing;  // online first
      return pa.missing && pa.missingSince < pb.missingSince;
    }
    default:
      if (column < 0 || column >= kState) return false;
      return QString::compare(a.cells[column], b.cells[column], Qt::CaseInsensitive) < 0;
  }
}

TDeviceProxyModel::TDeviceProxyModel(TDeviceTableModel& devices, QObject* parent)
    : QSortFilterProxyModel(parent), devices_(devices) {
  setSourceModel(&devices);
  setDynamicSortFilter(true);
}

void TDeviceProxyModel::SetNeedle(const QString& needle) {
  const QString trimmed = needle.trimmed();
  if (trimmed == needle_) return;
  needle_ = trimmed;
  invalidateFilter();
}

bool TDeviceProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
  return devices_.Matches(sourceRow, needle_);
}

bool TDeviceProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  return devices_.Less(left.row(), right.row(), left.column());
}

}  // namespace velkaro
