# bash completion for velkaro-cli.
# The commands, options and argument names are read from the program's own --help at each
# completion, so new commands and options complete without touching this file. The parsing is
# plain bash: one program run per help text and no other process.

# Reads help text $1 into the caller's variables: commands (array), options (associative:
# long option -> its value's name, "-" for a flag), positionals (array, in order) and
# last_repeats (1 when the last positional takes several words, "NAME TEXT ...").
_velkaro_cli_parse() {
  local line section=""
  while IFS= read -r line; do
    case $line in
      Subcommands:*) section=commands ;;
      Positionals:*) section=positionals ;;
      Options:*) section=options ;;
      "") section="" ;;
      *)
        if [[ $line =~ ^\ \ (-[A-Za-z],)?(--[A-Za-z0-9-]+)(\ ([A-Z][^ ]*))? ]]; then
          options[${BASH_REMATCH[2]}]=${BASH_REMATCH[4]:--}
        elif [[ $section == commands && $line =~ ^\ \ ([a-z][a-z0-9-]*)\  ]]; then
          commands+=("${BASH_REMATCH[1]}")
        elif [[ $section == positionals && $line =~ ^\ \ ([A-Z][A-Za-z0-9_=]*)\ ([^ ]*\ \.\.\.)? ]]; then
          positionals+=("${BASH_REMATCH[1]}")
          last_repeats=${BASH_REMATCH[2]:+1}
        fi
        ;;
    esac
  done <<<"$1"
}

_velkaro_cli_files() {
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_velkaro_cli() {
  local program=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]}
  local help command="" expects="" word i positional=0 last_repeats=""
  local -a commands=() positionals=()
  local -A options=()
  COMPREPLY=()
  help=$("$program" --help 2>/dev/null) || return 0
  _velkaro_cli_parse "$help"

  # Walk the words before the cursor: find the command, skip option values, count the command's
  # positional arguments.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ -n $expects ]]; then
      expects=""
    elif [[ $word == -* ]]; then
      [[ $word != *=* && ${options[$word]:--} != - ]] && expects=${options[$word]}
    elif [[ -z $command && " ${commands[*]} " == *" $word "* ]]; then
      command=$word
      help=$("$program" "$command" --help 2>/dev/null) || return 0
      _velkaro_cli_parse "$help"
    elif [[ -n $command ]]; then
      ((positional++))
    fi
  done

  local name=""
  if [[ -n $expects ]]; then
    name=$expects
  elif [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${!options[*]}" -- "$cur")
    return 0
  elif [[ -z $command ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${commands[*]}" -- "$cur")
    return 0
  elif ((positional < ${#positionals[@]})); then
    name=${positionals[positional]}
  elif [[ -n $last_repeats ]]; then
    name=${positionals[-1]}
  fi
  [[ $name == *FILE* ]] && _velkaro_cli_files "$cur"
  return 0
}

complete -F _velkaro_cli velkaro-cli
