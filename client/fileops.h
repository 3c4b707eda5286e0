// Pane commands that act on files without being plain transfers: directory
// commands, delete, rename, move, permissions, viewing, opening with the
// associated program, remote editing, directory information and the
// association table.  Each takes the side (0 local, 1 remote).
#ifndef TESSEL_CLIENT_FILEOPS_H
#define TESSEL_CLIENT_FILEOPS_H

#include "client.h"

#include <string>
#include <vector>

namespace t95 {

// One selected list line, copied out of the list before any work starts.
struct SelItem {
    std::string name;
    int kind;
};
// The selected lines of a side's list, ".." and (with skipDrives) drive
// lines left out.
std::vector<SelItem> CollectSelection(int side, int skipDrives);

// A name or command argument that would carry a second line (CR, LF) or
// be cut short: logs a "! " line and returns 0.
int ArgumentOk(const char *what, const std::string &arg);

// Local change of directory by a typed name (or a session's LOCDIR): the
// drive first when the path starts with one; logs the outcome.
int LocalChdir(const char *path);

void CmdChangeDir(int side);
void CmdMakeDir(int side);
void CmdRemoveDir(int side);
void CmdDelete(int side);
void CmdRename(int side);
void CmdMove(int side);
void CmdPermissions();

// "Verify Deletion": IDYES, IDNO, IDCANCEL or VERIFY_DELALL.
enum { VERIFY_DELALL = 180 }; // IDC_VD_DELALL
int VerifyDeletion(HWND owner, const char *name, int offerAll);
// "Remote file permissions": 1 on OK with the mode (octal bits) in *mode.
int PermissionsDialog(HWND owner, int *mode);
// The mode's digits read as a decimal number (0755 -> 755).
unsigned ModeDigits(int mode);
// The remembered mode of this session (0644 at first).
extern int g_chmodMode;

// ---------------------------------------------------------------- viewing and running
// Temporary copy of a remote file: prefix "DSP" or "EDT" in the system's
// temporary folder, the remote extension (letters valid in a file name,
// up to four) in place of ".tmp".  Registered for the exit clean-up.
// 0 when no name could be made.
int MakeTempCopyName(const char *prefix, const char *remoteName, char *out, size_t size);
// The file name as a command-line word: quoted when it holds a blank.
std::string QuotedName(const char *file);
// viewer + blank + file (+ "." when the name has no dot).
std::string ViewerCommand(const char *viewer, const char *file);
// Looks the extension up in the system profile's Extensions section and
// builds the command ("^" and the rest replaced by the file, or " file"
// appended); 0 when there is no association.
int AssociationCommand(const char *ext, const char *file, std::string *cmd);
// Writes the association for ext: program cut at "^" then "^.ext", or
// program + " ^.ext".
void WriteAssociation(const char *ext, const char *program);
// Edit command for a file; 0 when there is none (exe, com).
int EditCommand(const char *file, int forceFind, std::string *cmd);
// Starts a command line shown normally; the process handle when wait is
// asked for (caller closes it), else nullptr.  0 on failure.
int RunCommandLine(const std::string &cmd, HANDLE *process);

void CmdView(int side);
void CmdExecute(int side);
void CmdDirInfo(int side);
// "Associate" for one extension; 1 when something was written.
int AssociateDialog(HWND owner, const char *ext);
// Fills the association page or dialog controls (shared with the Options
// sheet's page).
INT_PTR CALLBACK AssociateProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);

// ---------------------------------------------------------------- remote edit
void CmdEdit();
// Number of edit threads still running.
int EditsRunning();

// Tests: when set, Ctrl counts as held.
extern int g_forceCtrl;
int CtrlHeld();

} // namespace t95

#endif
