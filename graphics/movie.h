// Movies played into graphs.
#pragma once

int PlayAllMovies();
int PauseAllMovies();
int ReleaseAllMovieSurfaces();

// A movie stream for a graph of its frame size; movie handle or -1.
int OpenMovieToGraph(const char* name, int* width, int* height, int mode);
int GetMovieMode(int movie);  // the mode the stream was opened in, -1 for a bad handle
// Closes a movie that no graph owns (yet). 0 / -1.
int CloseMovie(int movie);
int CloseMovieHandle(int movie);  // 0 / -1
