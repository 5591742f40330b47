// Keeps a library valid before its first source lands.
