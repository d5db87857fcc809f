// Reboot: restarts the device. The link stays open; the first bytes the
// device sends afterwards (its boot messages) end the operation.
#ifndef REBOOT_H
#define REBOOT_H

class MainWindowUi;

// The Reboot button.
void startReboot(MainWindowUi &ui);

// The REBOOT branch of the reply handler.
void handleRebootReply(MainWindowUi &ui);

#endif // REBOOT_H
