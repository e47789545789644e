// Found before Qt's own header by the engine libraries only: every widget header includes this one,
// so a widget included in an engine stops the build here, whatever form the include takes.
#error "engines (platform, foundation, archive, backup, restore, scheduler rules) use no widgets: ask through RunContext"
