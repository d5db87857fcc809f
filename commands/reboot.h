// Reboot: restarts the device. The link stays open; the device's first bytes
// afterwards open its boot text, and the operation lasts until that has
// ended, so no request reaches a receiver still booting and no piece of the
// banner is read as another request's answer.
#ifndef REBOOT_H
#define REBOOT_H

class MainWindowUi;

// The Reboot button.
void startReboot(MainWindowUi &ui);

// The REBOOT branch of the reply handler: what arrives is judged and dropped
// as the line's settle after Connect judges it (LineSettler: half a second of
// quiet after boot text, a tenth after other bytes, ten seconds at most);
// then the register empties.
void handleRebootReply(MainWindowUi &ui);

#endif // REBOOT_H
