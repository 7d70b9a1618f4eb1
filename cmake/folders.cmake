# The house, one library a folder, from the machine up (each build includes this once it has
# named its outside libraries): platform/ (the contract and this build's port), sound/ and
# image/ over it, the toolkit, the layers and the scenes, the sequencer, the shell.
add_subdirectory(platform)
add_subdirectory(sound)
add_subdirectory(image)
add_subdirectory(assets)
add_subdirectory(gfx)
add_subdirectory(layers)
add_subdirectory(scenes)
add_subdirectory(timeline)
add_subdirectory(app)
