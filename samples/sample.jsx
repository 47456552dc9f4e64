// A sample conversion script. The stand-in application records that it ran
// and with which parameters; a real one would convert the image here.
