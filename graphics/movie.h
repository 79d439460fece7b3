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
// One more graph shows the movie (a graph made from another that shows it). 0 / -1.
int AddMovieGraph(int movie);
// A graph that showed the movie is gone; the last one closes it. 0 / -1.
int CloseMovieHandle(int movie);
// Closes every movie (graphics shutdown). 0.
int CloseAllMovies();
// Copies a new frame of the graph's movie into the graph when one is due (force: at once). 0 / -1.
int UpdateMovieFrame(int graph, int force);
// Play and pause of one movie (by its graph) and of all. 0 / -1.
int PlayMovieHandle(int graph);
int PauseMovieHandle(int graph);
// Places an overlay movie's frame on the screen at (x, y) in the integer scale (show 0 hides it). 0 / -1.
int DrawMovieFrameDirect(int x, int y, int scale, int movie, int show);
// Restores the stream surfaces of the movie that report themselves lost. 0 / -1.
int RestoreMovieSurfaces(int movie);
// After a device loss: every movie opens its stream again where it was. 0 / -1.
int ReopenAllMovies();
