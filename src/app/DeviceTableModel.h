// The grid's data: a table model over the session's device list, with the texts of each row
// kept beside it so that sorting and filtering 10,000 rows never decodes a device text again,
// and the proxy that sorts and filters it for the view.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "protocol/Session.h"

namespace velkaro {

class TDeviceTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName, kType, kIp, kMac, kInterface, kState, kFiller, kColumnCount };
  static constexpr int kTextColumns = kState + 1;

  // Shows `session`'s DeviceList, which outlives the model.
  explicit TDeviceTableModel(const TSession& session, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The list was emptied or rebuilt (a scan starts, offline devices were forgotten).
  void Reset();
  // Record `index` of the list was added or changed; rows up to it are added when missing. A row
  // whose texts stayed as they were is not redrawn.
  void DeviceChanged(int index);
  // Between the two, DeviceChanged only takes note; EndBatch then adds the new rows at once and
  // redraws the changed ones together (thousands of replies of one round, one view update).
  void BeginBatch() { ++batch_; }
  void EndBatch();
  bool InBatch() const { return batch_ > 0; }
  // Every row's online state may have changed.
  void PresenceChanged();

  // The text the grid shows in a cell (the State column's as well).
  QString Text(int row, int column) const;
  // Whether the row's name, type, IP address, MAC address (with or without separators) or
  // interface holds `needle`, case-insensitively. An empty needle matches every row.
  bool Matches(int row, const QString& needle) const;
  // Sort order of two rows by a column: IP addresses as numbers, MAC addresses by their bytes,
  // texts case-insensitively.
  bool Less(int left, int right, int column) const;

 private:
  struct TRow {
    std::array<QString, kState> cells;
    QString filterKey;  // lower case, one field a line
    QString macDigits;  // lower-case hexadecimal, no separators
    std::uint32_t ip = 0;
    std::uint64_t mac = 0;
    bool operator==(const TRow&) const = default;
  };
  // Updates a listed row; true when its texts changed.
  bool Refresh(std::size_t index);
  TRow MakeRow(std::size_t index) const;
  bool Missing(int row) const;

  const TSession& session_;
  std::vector<TRow> rows_;
  int batch_ = 0;
  std::size_t batchSize_ = 0;  // the list's size the batch has seen
  int dirtyFirst_ = -1, dirtyLast_ = -1;
};

// Sorts and filters the device model for the view; the source rows stay list indexes.
class TDeviceProxyModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit TDeviceProxyModel(TDeviceTableModel& devices, QObject* parent = nullptr);
  void SetNeedle(const QString& needle);
  const QString& Needle() const { return needle_; }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  TDeviceTableModel& devices_;
  QString needle_;
};

}  // namespace velkaro
