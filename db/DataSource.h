#pragma once
// The link between a dataset and the controls that show it. A grid, a navigator or a
// status label owns a TDataLink, points it at a TDataSource, and hears through it when
// the dataset opens, scrolls, changes a record or changes state.
#include "db/DataSet.h"

#include <vector>

class TDataLink;

class TDataSource {
public:
  TDataSource() = default;
  explicit TDataSource(TDataSet* ds) { SetDataSet(ds); }
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* ds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  TDataSetState State() const { return dataSet_ && enabled_ ? dataSet_->State() : dsInactive; }

  // Called by the dataset.
  void DataEvent(TDataEvent e, long info);
  void DataSetGone() { dataSet_ = nullptr; DataEvent(deActiveChange, 0); }

private:
  friend class TDataLink;
  void addLink(TDataLink* l) { links_.push_back(l); }
  void removeLink(TDataLink* l);

  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<TDataLink*> links_;
};

class TDataLink {
public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* s);
  TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
  bool Active() const { return DataSet() && DataSet()->Active() && source_->Enabled(); }

protected:
  friend class TDataSource;
  virtual void ActiveChanged() {}
  virtual void DataSetChanged() {}
  virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }

private:
  TDataSource* source_ = nullptr;
};
