// Found before the real header by the engine libraries but platform's own: an engine asks through
// RunContext's typed questions (foundation/Questions.h) and never picks a dialog itself.
#error "engines ask through RunContext (foundation/Questions.h), not through the dialogs service"
