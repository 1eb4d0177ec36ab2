// The invitation: the show on the real window, display and sound.
#include "shell/invitation.h"

int main() { return run_invitation(); }
