#include "ui/main_window_update_win.h"

#include <memory>
#include <string>

#include "ui/draw_primitives_win.h"
#include "ui/launcher_state_win.h"
#include "ui/main_window_commands_win.h"
#include "update/run/update_worker_win.h"

void StartUpdateRun(HWND window, bool repaint) {
    launcherState.updateRunning = true;
    // New flags for each run: a run still ending never shares them with the next.
    launcherState.updateRun = std::make_shared<UpdateRunFlags>();
    launcherState.progressDone = 0;
    launcherState.progressTotal = 100;
    if (repaint)
        RequestRepaint(window);
    // The last run's worker has posted its end; its handle goes with the new one's coming.
    launcherState.updateWorker.Reset(mainWindowCommands.startUpdateWorker(window, launcherState.updateRun));
    if (!launcherState.updateWorker.IsValid()) {
        launcherState.updateRunning = false;
        SetWindowTextW(launcherState.statusLabel, kWorkerStartFailedText);
        RequestRepaint(window);
    }
}

void OnUpdateProgress(HWND window, WPARAM wParam, LPARAM lParam) {
    const WorkerReport report = ReadWorkerMessage(WM_UPDATE_PROGRESS, wParam, lParam);
    if (report.kind != WorkerReport::Kind::kProgress)
        return;
    launcherState.progressTotal = report.total;
    launcherState.progressDone = report.done;
    RequestRepaint(window);
}

void OnUpdateStatus(HWND, LPARAM lParam) {
    const WorkerReport report = ReadWorkerMessage(WM_UPDATE_STATUS, 0, lParam);
    SetWindowTextW(launcherState.statusLabel, report.text.c_str());
}

void OnUpdateFinished(HWND window, WPARAM wParam) {
    launcherState.updateRunning = false;
    if (ReadWorkerMessage(WM_UPDATE_FINISHED, wParam, 0).complete)
        launcherState.gameReady = true;
    RequestRepaint(window);
}

void EndUpdateRun() {
    if (launcherState.updateRun)
        EndUpdateWorker(launcherState.updateWorker.Get(), *launcherState.updateRun, kWorkerEndWaitMs);
    launcherState.updateWorker.Reset();
}
