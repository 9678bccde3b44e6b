// Renderings of the dialogs and the program's images.

#include <QGridLayout>
#include <QTimer>
#include <cmath>
#include <QLabel>
#include <QWidget>

#include "app/joblist.h"
#include "app/prompt.h"
#include "dialogs/mvjobsel.h"
#include "dialogs/mvopt.h"
#include <QTabWidget>
#include "dialogs/mvscdlg.h"
#include "dialogs/mvsplash.h"
#include "icons/icons.h"
#include "platform/clock.h"
#include "tools/shots/shots.h"

namespace {

// Every image at 16, 24, 32 and 64 pixels, as lists and buttons show them.
void IconSheet(mv::shots::ShotSink& shots) {
  QWidget sheet;
  sheet.setStyleSheet("background: white");
  auto* grid = new QGridLayout(&sheet);
  const char* names[] = {"status-4", "status-6", "status-7", "status-8", "status-9",
                         "start",    "pause",    "stop",     "mirava"};
  const int sizes[] = {16, 24, 32, 64};
  int row = 0;
  for (const char* name : names) {
    grid->addWidget(new QLabel(name), row, 0);
    const QIcon icon = mv::MiravaIcon(name);
    for (int c = 0; c < 4; ++c) {
      auto* label = new QLabel;
      label->setPixmap(icon.pixmap(sizes[c], sizes[c]));
      grid->addWidget(label, row, c + 1);
    }
    ++row;
  }
  shots.Save("icons", sheet);
}

// The schedule of a queued nightly job that starts two others after it.
void ScheduleDialog(mv::shots::ShotSink& shots) {
  mv::HeadlessPrompt prompt({});
  mv::TMVScheduleForm form(prompt);
  form.SetQueueLoaded([] { return true; });
  mv::TTSchedule record;
  record.NextRun = mv::Now();
  record.NextRun = std::floor(record.NextRun) + 22.0 / 24;
  record.Days = 1;
  record.Queued = true;
  record.Weekdays = 0x3E;
  record.Options = 1;
  record.RunAfterSuccessEnabled = true;
  record.RunAfterSuccess = "Backup A|Backup B";
  record.RunAfterSuccessW = "Weekly report";
  QTimer::singleShot(0, [&] {
    shots.Save("schedule-dialog", form);
    form.reject();
  });
  form.EditSchedule(record);
}

void JobSelection(mv::shots::ShotSink& shots) {
  mv::JobList jobs;
  const std::string dir = shots.ScratchDir().toStdString() + "/";
  for (const char* name : {"Nightly", "Backup A", "Backup B", "Weekly report", "Photos"})
    jobs.AddJob(std::make_unique<mv::TTFileThreadControl>(name, nullptr, dir, dir, nullptr));
  jobs.Select(0);
  mv::Tmvjobselform form;
  form.SetJobList(&jobs);
  QTimer::singleShot(0, [&] {
    shots.Save("select-jobs", form);
    form.reject();
  });
  form.Execute({"Backup A"});
}

void Options(mv::shots::ShotSink& shots) {
  mv::TMVOptions form;
  mv::ProgramOptions values;
  values.Host = "mail.example.org:587";
  values.User = "backup-server";
  values.Security = "starttls";
  values.Login = "mirava";
  values.PasswordFile = "/etc/mirava/smtp-password";
  values.SpeedUnit = 0;
  values.ResumeSourcePath = values.ResumeSourceFile = true;
  QTimer::singleShot(0, [&] {
    shots.Save("options-smtp", form);
    form.findChild<QTabWidget*>("PCOptions")->setCurrentIndex(1);
    shots.Save("options-misc", form);
    form.reject();
  });
  form.Execute(values);
}

void Splash(mv::shots::ShotSink& shots) {
  mv::TSplashForm splash;
  splash.ShowSplash();
  shots.Save("splash", splash);
  QTimer::singleShot(0, [&] {
    shots.Save("info", splash);
    splash.accept();
  });
  splash.ShowInfo();
}

}  // namespace

MV_SHOTS(dialogs) {
  IconSheet(shots);
  ScheduleDialog(shots);
  JobSelection(shots);
  Options(shots);
  Splash(shots);
}
