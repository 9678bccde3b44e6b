#pragma once
// The "Joblist" page: the button row, the job list, and the "Job Parameters"
// and "Job Status" panels of the selected job. It only shows what it is
// given and reports clicks; the window decides what they do.

#include <QWidget>
#include <array>

class QAbstractItemModel;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolButton;

namespace mv {

class ValueLabel;

class JoblistTab : public QWidget {
  Q_OBJECT
 public:
  // The rows of the "Job Parameters" panel, in order.
  enum Parameter {
    SourceDirectory, TargetDirectory, Action, Options, IncludeFiles, ExcludeFiles,
    IncludeDirectories, ExcludeDirectories, SourceMacro, Notify, ParameterCount
  };
  // The values of the "Job Status" panel.
  enum StatusField {
    Source, Target, Total, Success, Skipped, Errors, Deleted, StartTime, EndTime, LastErrorCode,
    Status, Speed, KBDone, AverageRate, LastCompleteRun, StatusFieldCount
  };
  enum Button {
    DeleteJob, EditJob, RescheduleJob, EditCopy, RunNow, Start, Pause, Terminate, ButtonCount
  };

  explicit JoblistTab(QWidget* parent = nullptr);

  // The jobs (not owned): column 0 "Job", column 1 "Time".
  void SetModel(QAbstractItemModel* model);
  // Selects a row of the list (-1: none) without reporting it back.
  void SelectRow(int row);

  // Both panels shown (a job is selected) or hidden.
  void ShowPanels(bool visible);
  void SetParameter(Parameter row, const QString& value);
  void SetStatus(StatusField field, const QString& value);
  // Sets the progress gauge only when the value changes.
  void SetProgress(int percent);
  void EnableButton(Button button, bool enabled);

  QTableView* View() const { return view_; }
  QPushButton* ButtonAt(Button button) const { return buttons_[button]; }
  ValueLabel* ParameterLabel(Parameter row) const { return parameters_[row]; }
  QLabel* StatusLabel(StatusField field) const { return status_[field]; }
  QProgressBar* Progress() const { return progress_; }
  QGroupBox* ParametersPanel() const { return parametersBox_; }
  QGroupBox* StatusPanel() const { return statusBox_; }

  static const char* ParameterCaption(Parameter row);
  static const char* StatusCaption(StatusField field);
  static const char* ButtonCaption(Button button);

 signals:
  void RowSelected(int row);  // -1: none
  void SortRequested(int column);
  void ButtonClicked(int button);
  void ParameterShown(const QString& caption, const QString& value);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* BuildParameters();
  QWidget* BuildStatus();
  void SetColumnWidths();

  QTableView* view_;
  std::array<QPushButton*, ButtonCount> buttons_{};
  std::array<ValueLabel*, ParameterCount> parameters_{};
  std::array<QLabel*, StatusFieldCount> status_{};
  QProgressBar* progress_ = nullptr;
  QGroupBox* parametersBox_ = nullptr;
  QGroupBox* statusBox_ = nullptr;
  bool selecting_ = false;
};

}  // namespace mv
