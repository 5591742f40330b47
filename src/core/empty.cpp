// Keeps a folder library valid before its first source lands.
